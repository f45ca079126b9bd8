#pragma once

#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace quorvex {

// Text for the terminal or the journal, in the locale's charset.
std::string localBytes(const std::u16string& text);

// A name on one line of text: control characters escaped.
std::string shownName(const std::u16string& name);

// A name or reason in the plugin's output line, where "|" starts the perfdata.
std::string plainName(const std::u16string& name);

// A message on one line: "Socket Error # 10061\r\nConnection refused." and
// the like; other control characters escaped, and never empty.
std::u16string oneLine(std::u16string_view text);

// "YYYY-MM-DD hh:mm:ss", the time stamp of a status line.
std::string timestamp(TDateTime localTime);

// "hh:nn:ss" on the 24-hour clock, joined by the locale's time separator
// (":" when the locale names none): the Last Run of a row.
std::u16string formatLastRun(TDateTime localTime);

}  // namespace quorvex
