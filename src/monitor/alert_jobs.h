#pragma once

#include <functional>
#include <memory>

#include "alerts/alert_mail.h"
#include "monitor/outage_book.h"

namespace quorvex {

// Where a front end's alert mails take their fields from, read on the
// engine's thread when a mail is queued (so the window's unsaved edits count).
using TAlertFieldsSource = std::function<TAlertMailFields()>;

// The alert and recovery mails of a front end, sent through `client` (an
// SMTP client that only the delivery queue uses, one mail at a time, each on
// a connection of its own).
TOutageBook::AlertMail alertMailJobs(TAlertFieldsSource fields, std::shared_ptr<TQxSMTP> client,
                                     TAlertMailWaits waits = {});
TOutageBook::RecoveryMail recoveryMailJobs(TAlertFieldsSource fields,
                                           std::shared_ptr<TQxSMTP> client,
                                           TAlertMailWaits waits = {});

// How long a mail under way at shut-down may still take: its own bounds.
std::chrono::milliseconds mailGrace(const TAlertMailWaits& waits);

}  // namespace quorvex
