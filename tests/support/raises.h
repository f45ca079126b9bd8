#pragma once

#include <exception>
#include <string>
#include <utility>

#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex::test {

inline constexpr char16_t kNothingRaised[] = u"(nothing raised)";

// The message of the E that an action raises, so that an error row in a table
// is one line:
//   EXPECT_EQ(MessageOf<EConvertError>([&] { textToInt32(text); }), expected);
// Another exception, or none, gives a text that says so and fails the row.
template <class E, class Action>
std::u16string MessageOf(Action&& action) {
  try {
    std::forward<Action>(action)();
  } catch (const E& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return u"(another exception: " + fromUtf8(e.what()) + u")";
  }
  return kNothingRaised;
}

}  // namespace quorvex::test
