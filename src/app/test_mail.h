#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace quorvex {

// quorvex --test-mail: sends the test mail with the saved settings. Prints
// "Test successful." and returns 0, or prints the error and returns 1.
int runTestMail(const std::optional<std::u16string>& settingsFile, std::ostream& out,
                std::ostream& err);

}  // namespace quorvex
