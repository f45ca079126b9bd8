#pragma once

namespace quorvex {

// Stands in for the alert mail until this build has an SMTP client: raises
// "Sending e-mail is not available in this build". The cycle swallows it like
// any failed alert, the Test button shows it.
[[noreturn]] void raiseMailUnavailable();

}  // namespace quorvex
