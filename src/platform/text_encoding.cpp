#include "platform/text_encoding.h"

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

}  // namespace quorvex
