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
  } catch (const Exception& e) {
    err << TEncoding::System().GetBytes(errorBoxText(e.Message())) << std::endl;
    return 1;
  } catch (const std::exception& e) {
    err << TEncoding::System().GetBytes(errorBoxText(fromUtf8(e.what()))) << std::endl;
    return 1;
  }
  out << "Test successful." << std::endl;
  return 0;
}

}  // namespace quorvex
