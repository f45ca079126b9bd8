#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Converts header text to "converted header text" (one character per byte of
// the charset, all in U+0000..U+00FF) and back.
class TQxHeaderCoder {
 public:
  virtual ~TQxHeaderCoder() = default;
  virtual bool CanHandle(std::u16string_view charset) const = 0;
  virtual std::u16string Encode(std::u16string_view charset, std::u16string_view text) const = 0;
  virtual std::u16string Decode(std::u16string_view charset, std::u16string_view bytes) const = 0;
};

// ISO-8859-*, windows-*, KOI8-*, GB2312 and US-ASCII. Text goes through the
// platform converter of the charset when there is one, so that, say, Cyrillic
// text in a KOI8-R header arrives as KOI8-R; without one each character up to
// U+00FF is its own byte.
class TQxHeaderCoderPlain final : public TQxHeaderCoder {
 public:
  bool CanHandle(std::u16string_view charset) const override;
  std::u16string Encode(std::u16string_view charset, std::u16string_view text) const override;
  std::u16string Decode(std::u16string_view charset, std::u16string_view bytes) const override;
};

// ISO-2022-JP: JIS X 0208 runs between ESC "$B" and ESC "(B".
class TQxHeaderCoder2022JP final : public TQxHeaderCoder {
 public:
  bool CanHandle(std::u16string_view charset) const override;
  std::u16string Encode(std::u16string_view charset, std::u16string_view text) const override;
  std::u16string Decode(std::u16string_view charset, std::u16string_view bytes) const override;
};

// UTF-7 and UTF-8.
class TQxHeaderCoderUTF final : public TQxHeaderCoder {
 public:
  bool CanHandle(std::u16string_view charset) const override;
  std::u16string Encode(std::u16string_view charset, std::u16string_view text) const override;
  std::u16string Decode(std::u16string_view charset, std::u16string_view bytes) const override;
};

// Any charset of the charset table whose code page the platform converts.
class TQxHeaderCoderCodePage final : public TQxHeaderCoder {
 public:
  bool CanHandle(std::u16string_view charset) const override;
  std::u16string Encode(std::u16string_view charset, std::u16string_view text) const override;
  std::u16string Decode(std::u16string_view charset, std::u16string_view bytes) const override;
};

class TQxHeaderCoderList {
 public:
  void Register(std::unique_ptr<TQxHeaderCoder> coder);
  // The most recently registered coder that takes the charset, or null.
  const TQxHeaderCoder* ByCharSet(std::u16string_view charset) const;

  // Code page, UTF, ISO-2022-JP and plain coders, registered in that order.
  static const TQxHeaderCoderList& Default();

 private:
  std::vector<std::unique_ptr<TQxHeaderCoder>> FCoders;
};

// Bytes <-> characters of the same value.
std::u16string BytesToChars(std::string_view bytes);
std::string CharsToBytes(std::u16string_view chars);

}  // namespace quorvex
