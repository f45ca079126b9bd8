#include "platform/text_encoding.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text.h"

namespace quorvex {

namespace {

// One byte per character for the first `limit` code points, the substitute
// for the rest; every byte decodes to its own value below the limit.
class TSingleByteEncoding final : public TEncoding {
 public:
  TSingleByteEncoding(char16_t limit, std::string name) : _limit(limit), _name(std::move(name)) {}

  std::string GetBytes(std::u16string_view text) const override {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c < _limit) {
        out += static_cast<char>(c);
      } else {
        // A surrogate pair is one character and gets one substitute.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
          ++i;
        out += '?';
      }
    }
    return out;
  }

  std::u16string GetString(std::string_view bytes) const override {
    // Line reading decodes every line here, so whole blocks of bytes below
    // 128 are widened at once.
    std::u16string out(bytes.size(), u'\0');
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* to = out.data();
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes.size(); i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      if (_mm_movemask_epi8(block) != 0) break;  // a byte of 128 or more
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpackhi_epi8(block, zero));
    }
#endif
    for (; i < bytes.size(); ++i) to[i] = in[i] < _limit ? static_cast<char16_t>(in[i]) : u'?';
    return out;
  }

  std::string CharsetName() const override { return _name; }

 private:
  char16_t _limit;
  std::string _name;
};

class TUTF8Encoding final : public TEncoding {
 public:
  std::string GetBytes(std::u16string_view text) const override { return toUtf8(text); }
  std::u16string GetString(std::string_view bytes) const override { return fromUtf8(bytes); }
  std::string CharsetName() const override { return "UTF-8"; }
};

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

const TEncoding& TEncoding::ASCII() {
  static const TSingleByteEncoding encoding(0x80, "us-ascii");
  return encoding;
}

const TEncoding& TEncoding::ISO88591() {
  static const TSingleByteEncoding encoding(0x100, "iso-8859-1");
  return encoding;
}

const TEncoding& TEncoding::UTF8() {
  static const TUTF8Encoding encoding;
  return encoding;
}

const TEncoding& TEncoding::System() {
  static const std::unique_ptr<TEncoding> encoding = []() -> std::unique_ptr<TEncoding> {
    // Read the environment's locale without changing the process's own.
    std::string codeset = "UTF-8";
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", nullptr)) {
      codeset = nl_langinfo_l(CODESET, loc);
      freelocale(loc);
    }
    if (codeset == "UTF-8" || codeset == "utf8") return std::make_unique<TUTF8Encoding>();
    if (codeset == "ANSI_X3.4-1968") return std::make_unique<TUTF8Encoding>();  // "C" locale
    if (auto found = ForCharset(codeset)) return found;
    return std::make_unique<TUTF8Encoding>();
  }();
  return *encoding;
}

std::unique_ptr<TEncoding> TEncoding::ForCharset(std::string_view iconvName) {
  std::string name(iconvName);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  iconv_close(cd);
  return std::make_unique<TIconvEncoding>(std::move(name));
}

}  // namespace quorvex
