#pragma once

#include <iosfwd>

#include "alerts/alert_mail.h"
#include "app/program_options.h"
#include "monitor/outage_book.h"
#include "monitor/server_test.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace quorvex {

// The mails of the headless front end: the saved Alerts fields.
struct THeadlessMails {
  TOutageBook::AlertMail alert;
  TOutageBook::RecoveryMail recovery{};  // empty: none, whatever the options say
  // The mail's bounded waits; at shut-down a mail under way gets as long.
  TAlertMailWaits waits{};
};
THeadlessMails headlessMails(const TSettings& settings, const TAlertMailWaits& waits = {});

// Runs the monitor without a window until it ends (--once) or SIGINT/SIGTERM
// arrives; returns the exit code.
int runHeadless(const TCommandLine& options, std::ostream& out, std::ostream& err);

// runHeadless on given settings, children, mails and clock, for tests. With
// options.stateFile set, outages are carried over from the file and every
// change is written back; without it every run starts with none. With
// options.historyFile set, every result is kept there (and the status page
// of options.statusPage written after it); without it none is kept.
int runHeadlessCycle(const TSettings& settings, const TCommandLine& options,
                     TProcessFactory processes, THeadlessMails mails, std::ostream& out,
                     std::ostream& err, const TClock& clock = TClock::System());

// Sets the --option values of the command line in the settings (not saved).
void applyOptionValues(TSettings& settings, const TCommandLine& options);

}  // namespace quorvex
