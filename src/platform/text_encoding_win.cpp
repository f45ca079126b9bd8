#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// A Windows code page through the system's converters, with their own
// substitution for what a code page cannot hold.
class TCodePageEncoding final : public TEncoding {
 public:
  TCodePageEncoding(UINT codePage, std::string name)
      : _codePage(codePage), _name(std::move(name)) {}

  std::string GetBytes(std::u16string_view text) const override {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(_codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return TEncoding::ASCII().GetBytes(text);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(_codePage, 0, wide, length, out.data(), size, nullptr, nullptr);
    return out;
  }

  std::u16string GetString(std::string_view bytes) const override {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(_codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0) return TEncoding::ASCII().GetString(bytes);
    std::u16string out(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(_codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()),
                        size);
    return out;
  }

  std::string CharsetName() const override { return _name; }

 private:
  UINT _codePage;
  std::string _name;
};

std::string upper(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct TNamedCodePage {
  const char* name;  // upper case
  UINT codePage;
};

// The converter names the rest of the system uses (the mail charsets and the
// locale's header charsets), as code pages.
constexpr TNamedCodePage kNamedCodePages[] = {
    {"UTF-8", CP_UTF8},     {"UTF-7", CP_UTF7},     {"US-ASCII", 20127},  {"KOI8-R", 20866},
    {"KOI8-U", 21866},      {"GB18030", 54936},     {"GB2312", 936},      {"BIG5", 950},
    {"SHIFT_JIS", 932},     {"EUC-JP", 20932},      {"EUC-KR", 51949},    {"CSEUCKR", 51949},
    {"ISO-2022-JP", 50220}, {"ISO-2022-KR", 50225}, {"MACINTOSH", 10000}, {"MAC-CYRILLIC", 10007},
    {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605},
};

UINT codePageOf(std::string_view name) {
  const std::string key = upper(name);
  for (const auto& entry : kNamedCodePages)
    if (key == entry.name) return entry.codePage;
  // CPnnnn and WINDOWS-nnnn are the code page itself; ISO-8859-n is 28590 + n.
  for (std::string_view prefix : {"CP", "WINDOWS-", "ISO-8859-"}) {
    if (key.rfind(prefix, 0) != 0 || key.size() == prefix.size()) continue;
    char* end = nullptr;
    const unsigned long number = std::strtoul(key.c_str() + prefix.size(), &end, 10);
    if (*end != '\0' || number == 0 || number > 65535) return 0;
    if (prefix == "ISO-8859-") return number <= 16 ? static_cast<UINT>(28590 + number) : 0;
    return static_cast<UINT>(number);
  }
  return 0;
}

std::string nameOf(UINT codePage) {
  switch (codePage) {
    case CP_UTF8:
      return "UTF-8";
    case 932:
      return "shift_jis";
    case 936:
      return "gb2312";
    case 949:
      return "ks_c_5601-1987";
    case 950:
      return "big5";
    default:
      if (codePage == 874 || (codePage >= 1250 && codePage <= 1258))
        return "windows-" + std::to_string(codePage);
      return "cp" + std::to_string(codePage);
  }
}

}  // namespace

// The system's ANSI code page, which the console children and the
// configuration files use.
const TEncoding& TEncoding::System() {
  static const TCodePageEncoding encoding(GetACP(), nameOf(GetACP()));
  return encoding;
}

std::unique_ptr<TEncoding> TEncoding::ForCharset(std::string_view iconvName) {
  const UINT codePage = codePageOf(iconvName);
  // The UTF-16 and UTF-32 code pages exist only for managed code; the
  // system's converters do not take them.
  if (codePage == 0 || !IsValidCodePage(codePage)) return nullptr;
  return std::make_unique<TCodePageEncoding>(codePage, std::string(iconvName));
}

}  // namespace quorvex
