#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <clocale>

#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// Any charset iconv converts, through UTF-16LE. iconv descriptors hold state,
// so each conversion opens its own pair; the cost is small next to I/O.
class TIconvEncoding final : public TEncoding {
 public:
  explicit TIconvEncoding(std::string name) : _name(std::move(name)) {}

  std::string GetBytes(std::u16string_view text) const override {
    std::string out;
    iconv_t cd = iconv_open(_name.c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return TEncoding::ASCII().GetBytes(text);
    std::string in;
    in.reserve(text.size() * 2);
    for (char16_t c : text) {
      in += static_cast<char>(c & 0xFF);
      in += static_cast<char>(c >> 8);
    }
    convert(cd, in, out, 2, "?");
    iconv_close(cd);
    return out;
  }

  std::u16string GetString(std::string_view bytes) const override {
    std::u16string result;
    iconv_t cd = iconv_open("UTF-16LE", _name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return TEncoding::ASCII().GetString(bytes);
    std::string out;
    convert(cd, bytes, out, 1, std::string("\xFD\xFF", 2));
    iconv_close(cd);
    result.reserve(out.size() / 2);
    for (size_t i = 0; i + 1 < out.size(); i += 2)
      result += static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                      (static_cast<unsigned char>(out[i + 1]) << 8));
    return result;
  }

  std::string CharsetName() const override { return _name; }

 private:
  // Converts all of `in`; an input unit that cannot be converted is skipped
  // (`step` bytes) and `substitute` written in its place.
  static void convert(iconv_t cd, std::string_view in, std::string& out, size_t step,
                      std::string_view substitute) {
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[4096];
    while (true) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      const size_t rc = iconv(cd, srcLeft ? &src : nullptr, &srcLeft, &dst, &dstLeft);
      out.append(buffer, dst - buffer);
      if (rc != static_cast<size_t>(-1)) {
        if (srcLeft == 0) break;
        continue;
      }
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated sequence at the end): substitute and go on.
      out.append(substitute);
      const size_t skip = std::min(step, srcLeft);
      src += skip;
      srcLeft -= skip;
      if (srcLeft == 0) break;
    }
    // Stateful charsets (UTF-7, ISO-2022-JP) end their last shift here.
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
  }

  std::string _name;
};

}  // namespace

const TEncoding& TEncoding::System() {
  // Null: UTF-8, the process-wide instance.
  static const std::unique_ptr<TEncoding> encoding = []() -> std::unique_ptr<TEncoding> {
    // Read the environment's locale without changing the process's own.
    std::string codeset = "UTF-8";
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", nullptr)) {
      codeset = nl_langinfo_l(CODESET, loc);
      freelocale(loc);
    }
    if (codeset == "UTF-8" || codeset == "utf8") return nullptr;
    if (codeset == "ANSI_X3.4-1968") return nullptr;  // "C" locale
    if (auto found = ForCharset(codeset)) return found;
    return nullptr;
  }();
  return encoding ? *encoding : UTF8();
}

std::unique_ptr<TEncoding> TEncoding::ForCharset(std::string_view iconvName) {
  std::string name(iconvName);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  iconv_close(cd);
  return std::make_unique<TIconvEncoding>(std::move(name));
}

}  // namespace quorvex
