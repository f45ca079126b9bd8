#include "app/test_notify.h"

#include <ostream>

#include "alerts/notifier.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/settings.h"
#include "settings/settings_path.h"

namespace quorvex {

int runTestNotify(const std::optional<std::u16string>& settingsFile,
                  const std::optional<std::u16string>& name, std::ostream& out, std::ostream& err) {
  const auto local = [](const std::u16string& text) { return TEncoding::System().GetBytes(text); };
  TSettings settings(settingsFilePath(settingsFile));
  try {
    settings.loadFromFile();
  } catch (const Exception& e) {
    err << "quorvex: " << local(e.Message())
        << (e.Place().empty() ? "" : " (" + local(e.Place()) + ")") << std::endl;
    return 1;
  }
  std::u16string names;
  bool found = false;
  bool allSent = true;
  const TClock& clock = TClock::System();
  for (const TNotifierConfig& notifier : settings.Notifiers()) {
    names += (names.empty() ? u"" : u", ") + EscapeControls(notifier.name);
    if (name && notifier.name != *name) continue;
    found = true;
    const TNotificationFacts facts = testNotificationFacts(clock);
    const std::string subject = local(notificationSubject(notifier, facts));
    try {
      sendNotification(notifier, facts);
      out << TimestampText(clock.Now()) << '\t' << subject << " sent" << std::endl;
    } catch (const Exception& e) {
      allSent = false;
      err << "quorvex: " << subject << " not sent: " << local(e.Message()) << std::endl;
    }
  }
  if (found) return allSent ? 0 : 1;
  if (names.empty())
    err << "quorvex: " << local(settings.FileName()) << " has no notifier (<notifiers>)"
        << std::endl;
  else
    err << "quorvex: no notifier is named \"" << local(EscapeControls(*name))
        << "\"; there are: " << local(names) << std::endl;
  return 1;
}

}  // namespace quorvex
