#include "mail/charset_table.h"

#include <map>
#include <mutex>
#include <unordered_map>

#include "platform/text.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

struct CodePageNames {
  int codePage;
  const char* converter;
  std::initializer_list<const char*> names;
};

// US-ASCII and its aliases map to the Western European code page on purpose:
// mail marked US-ASCII often carries 8-bit text in practice.
const CodePageNames kCodePages[] = {
    {65001, "UTF-8", {"UTF-8", "csUTF8"}},
    {65000, "UTF-7", {"UTF-7", "csUTF7"}},
    {1200, "UTF-16LE", {"UTF-16LE", "csUTF16LE"}},
    {1201, "UTF-16BE", {"UTF-16BE", "csUTF16BE"}},
    {12000, "UTF-32LE", {"UTF-32LE", "csUTF32LE"}},
    {12001, "UTF-32BE", {"UTF-32BE", "csUTF32BE"}},
    {1252,
     "CP1252",
     {"windows-1252", "cswindows1252", "US-ASCII", "iso-ir-6", "ANSI_X3.4-1968", "ANSI_X3.4-1986",
      "ISO_646.irv:1991", "ISO646-US", "us", "IBM367", "cp367", "csASCII"}},
    {28591,
     "ISO-8859-1",
     {"ISO-8859-1", "ISO_8859-1:1987", "iso-ir-100", "ISO_8859-1", "latin1", "l1", "IBM819",
      "CP819", "csISOLatin1"}},
    {28592,
     "ISO-8859-2",
     {"ISO-8859-2", "ISO_8859-2:1987", "iso-ir-101", "ISO_8859-2", "latin2", "l2", "csISOLatin2"}},
    {28593,
     "ISO-8859-3",
     {"ISO-8859-3", "ISO_8859-3:1988", "iso-ir-109", "ISO_8859-3", "latin3", "l3", "csISOLatin3"}},
    {28594,
     "ISO-8859-4",
     {"ISO-8859-4", "ISO_8859-4:1988", "iso-ir-110", "ISO_8859-4", "latin4", "l4", "csISOLatin4"}},
    {28595,
     "ISO-8859-5",
     {"ISO-8859-5", "ISO_8859-5:1988", "iso-ir-144", "ISO_8859-5", "cyrillic",
      "csISOLatinCyrillic"}},
    {28596,
     "ISO-8859-6",
     {"ISO-8859-6", "ISO_8859-6:1987", "iso-ir-127", "ISO_8859-6", "ECMA-114", "ASMO-708", "arabic",
      "csISOLatinArabic"}},
    {28597,
     "ISO-8859-7",
     {"ISO-8859-7", "ISO_8859-7:1987", "iso-ir-126", "ISO_8859-7", "ELOT_928", "ECMA-118", "greek",
      "greek8", "csISOLatinGreek"}},
    {28598,
     "ISO-8859-8",
     {"ISO-8859-8", "ISO_8859-8:1988", "iso-ir-138", "ISO_8859-8", "hebrew", "csISOLatinHebrew"}},
    {38598, "ISO-8859-8", {"ISO-8859-8-I", "ISO_8859-8-I", "csISO88598I"}},
    {1254,
     "CP1254",
     {"windows-1254", "cswindows1254", "ISO-8859-9", "ISO_8859-9:1989", "iso-ir-148", "ISO_8859-9",
      "latin5", "l5", "csISOLatin5"}},
    {28603, "ISO-8859-13", {"ISO-8859-13", "csISO885913"}},
    {28605, "ISO-8859-15", {"ISO-8859-15", "ISO_8859-15", "Latin-9", "csISO885915"}},
    {1250, "CP1250", {"windows-1250", "cswindows1250"}},
    {1251, "CP1251", {"windows-1251", "cswindows1251"}},
    {1253, "CP1253", {"windows-1253", "cswindows1253"}},
    {1255, "CP1255", {"windows-1255", "cswindows1255"}},
    {1256, "CP1256", {"windows-1256", "cswindows1256"}},
    {1257, "CP1257", {"windows-1257", "cswindows1257"}},
    {1258, "CP1258", {"windows-1258", "cswindows1258"}},
    {874, "CP874", {"windows-874", "cswindows874", "TIS-620", "csTIS620"}},
    {20866, "KOI8-R", {"KOI8-R", "csKOI8R"}},
    {21866, "KOI8-U", {"KOI8-U", "csKOI8U"}},
    {950, "CP950", {"Big5", "csBig5"}},
    {951, "BIG5-HKSCS", {"Big5-HKSCS", "csBig5HKSCS"}},
    {936, "CP936", {"GB2312", "csGB2312", "GBK", "CP936", "MS936", "windows-936", "csGBK"}},
    {54936, "GB18030", {"GB18030", "csGB18030"}},
    {949,
     "CP949",
     {"EUC-KR", "csEUCKR", "KS_C_5601-1987", "iso-ir-149", "KS_C_5601-1989", "KSC_5601", "korean",
      "csKSC56011987"}},
    {50225, "ISO-2022-KR", {"ISO-2022-KR", "csISO2022KR"}},
    {50220, "ISO-2022-JP", {"ISO-2022-JP", "csISO2022JP"}},
    {50222, "ISO-2022-JP-2", {"ISO-2022-JP-2", "csISO2022JP2"}},
    {932, "CP932", {"Shift_JIS", "MS_Kanji", "csShiftJIS", "Windows-31J", "csWindows31J"}},
    {51932,
     "EUC-JP",
     {"EUC-JP", "Extended_UNIX_Code_Packed_Format_for_Japanese", "csEUCPkdFmtJapanese"}},
    {437, "CP437", {"IBM437", "cp437", "437", "csPC8CodePage437"}},
    {850, "CP850", {"IBM850", "cp850", "850", "csPC850Multilingual"}},
    {852, "CP852", {"IBM852", "cp852", "852", "csPCp852"}},
    {855, "CP855", {"IBM855", "cp855", "855", "csIBM855"}},
    {857, "CP857", {"IBM857", "cp857", "857", "csIBM857"}},
    {860, "CP860", {"IBM860", "cp860", "860", "csIBM860"}},
    {861, "CP861", {"IBM861", "cp861", "861", "cp-is", "csIBM861"}},
    {862, "CP862", {"IBM862", "cp862", "862", "csPC862LatinHebrew"}},
    {863, "CP863", {"IBM863", "cp863", "863", "csIBM863"}},
    {864, "CP864", {"IBM864", "cp864", "csIBM864"}},
    {865, "CP865", {"IBM865", "cp865", "865", "csIBM865"}},
    {866, "CP866", {"IBM866", "cp866", "866", "csIBM866"}},
    {869, "CP869", {"IBM869", "cp869", "869", "cp-gr", "csIBM869"}},
    {10000, "MACINTOSH", {"macintosh", "mac", "csMacintosh"}},
    {10007, "MAC-CYRILLIC", {"x-mac-cyrillic"}},
    {0, "", {"UNICODE-1-1", "csUnicode11", "UNICODE-1-1-UTF-7", "csUnicode11UTF7"}},
};

std::string upperAscii(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c >= 0x80) return {};  // no charset name holds such a character
    out += static_cast<char>(AsciiUpper(c));
  }
  return out;
}

const std::unordered_map<std::string, const CodePageNames*>& nameIndex() {
  static const auto index = [] {
    std::unordered_map<std::string, const CodePageNames*> map;
    for (const auto& row : kCodePages)
      for (const char* name : row.names) map.emplace(upperAscii(u16(name)), &row);
    return map;
  }();
  return index;
}

const CodePageNames* findRow(std::u16string_view charset) {
  const std::string key = upperAscii(charset);
  if (key.empty()) return nullptr;
  const auto& index = nameIndex();
  const auto it = index.find(key);
  return it == index.end() ? nullptr : it->second;
}

bool converterSupports(const char* name) {
  static std::mutex mutex;
  static std::map<std::string, bool> known;
  std::lock_guard lock(mutex);
  const auto it = known.find(name);
  if (it != known.end()) return it->second;
  const bool ok = TEncoding::ForCharset(name) != nullptr;
  known.emplace(name, ok);
  return ok;
}

}  // namespace

int CharSetToCodePage(std::u16string_view charset) {
  const CodePageNames* row = findRow(charset);
  return row ? row->codePage : 0;
}

std::string CodePageConverterName(int codePage) {
  if (codePage == 0) return {};
  for (const auto& row : kCodePages)
    if (row.codePage == codePage) return converterSupports(row.converter) ? row.converter : "";
  return {};
}

std::string CharSetConverterName(std::u16string_view charset) {
  const CodePageNames* row = findRow(charset);
  if (!row || row->codePage == 0) return {};
  return converterSupports(row->converter) ? row->converter : "";
}

}  // namespace quorvex
