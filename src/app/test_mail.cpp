#include "app/test_mail.h"

#include <ostream>

#include "alerts/alert_mail.h"
#include "app/error_text.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/settings.h"
#include "settings/settings_path.h"

namespace quorvex {

namespace {

// The message for a terminal: the error box's text, line breaks as LF and
// none at the end (server replies end in CR LF).
std::string terminalText(std::u16string_view message) {
  std::u16string text = errorBoxText(message);
  std::u16string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    lines += text[i] == u'\r' ? u'\n' : text[i];
  }
  while (!lines.empty() && lines.back() == u'\n') lines.pop_back();
  return TEncoding::System().GetBytes(lines);
}

}  // namespace

int runTestMail(const std::optional<std::u16string>& settingsFile, std::ostream& out,
                std::ostream& err) {
  try {
    // Only the saved mail settings count here: no OpenVPN lookup, no
    // catalogue. A file that cannot be read is reported, since there is
    // nothing to test without it.
    TSettings settings(settingsFilePath(settingsFile));
    settings.loadFromFile();
    const auto idSMTP = makeAlertSMTP();
    sendMail(*idSMTP, alertMailFieldsFrom(settings), true);
  } catch (const std::exception& e) {
    // A refusal with its reply code: the terminal is where it is looked up.
    err << terminalText(mailErrorText(e)) << std::endl;
    return 1;
  }
  out << "Test successful." << std::endl;
  return 0;
}

}  // namespace quorvex
