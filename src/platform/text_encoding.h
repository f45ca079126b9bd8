#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quorvex {

// A text encoding: turns UTF-16 text into bytes of one charset and back.
// Characters the charset cannot hold become its substitute ("?"); bytes that
// do not decode become U+FFFD (or their own value for the 8-bit encodings).
class TEncoding {
 public:
  virtual ~TEncoding() = default;
  virtual std::string GetBytes(std::u16string_view text) const = 0;
  virtual std::u16string GetString(std::string_view bytes) const = 0;
  // IANA-style name of the charset ("us-ascii", "iso-8859-1", "UTF-8", ...).
  virtual std::string CharsetName() const = 0;

  // Process-wide, immutable instances.
  static const TEncoding& ASCII();     // code page 20127
  static const TEncoding& ISO88591();  // code page 28591
  static const TEncoding& UTF8();
  // The locale's charset (nl_langinfo(CODESET)): the system's 8-bit code page
  // for child processes and configuration files.
  static const TEncoding& System();

  // An encoding for a charset the platform converter (iconv) knows, or null.
  static std::unique_ptr<TEncoding> ForCharset(std::string_view iconvName);
};

}  // namespace quorvex
