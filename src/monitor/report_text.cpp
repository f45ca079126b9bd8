#include "monitor/report_text.h"

#include <langinfo.h>

#include <cstdio>

#include "platform/text.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

// The character that follows the hours in the locale's time format.
char16_t localeTimeSeparator() {
  const char* format = nl_langinfo(T_FMT);
  if (format == nullptr) return u':';
  const std::u16string text = fromUtf8(format);
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == u'%' && (text[i + 1] == u'H' || text[i + 1] == u'I') && text[i + 2] != u'%') {
      return text[i + 2];
    }
  }
  return u':';
}

}  // namespace

std::string localBytes(const std::u16string& text) { return TEncoding::System().GetBytes(text); }

std::string shownName(const std::u16string& name) { return localBytes(EscapeControls(name)); }

std::string plainName(const std::u16string& name) {
  std::string text = shownName(name);
  for (char& c : text) {
    if (c == '|') c = '_';
  }
  return text;
}

std::u16string oneLine(std::u16string_view text) {
  std::u16string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    line += (text[i] == u'\r' || text[i] == u'\n') ? u' ' : text[i];
  }
  line = EscapeControls(Trim(line));
  return line.empty() ? u"unknown error" : line;
}

std::string timestamp(TDateTime localTime) { return TimestampText(localTime); }

std::u16string formatLastRun(TDateTime localTime) {
  auto twoDigits = [](int value) {
    value = ((value % 100) + 100) % 100;
    return std::u16string{static_cast<char16_t>(u'0' + value / 10),
                          static_cast<char16_t>(u'0' + value % 10)};
  };
  const char16_t separator = localeTimeSeparator();
  const TDateTimeParts parts = DecodeDateTime(localTime);
  return twoDigits(parts.hour) + separator + twoDigits(parts.minute) + separator +
         twoDigits(parts.second);
}

}  // namespace quorvex
