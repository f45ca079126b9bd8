#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace quorvex {

// quorvex --test-notify [NAME]: sends a test notification through every
// notifier of the saved settings, or the one named. One line for each, as
// the monitor reports its notifications; returns 0 when every one was sent,
// else 1.
int runTestNotify(const std::optional<std::u16string>& settingsFile,
                  const std::optional<std::u16string>& name, std::ostream& out, std::ostream& err);

}  // namespace quorvex
