#pragma once

#include <exception>
#include <optional>
#include <string>
#include <type_traits>
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

// The same for tables that mix good rows and bad ones: "" when the action
// raised nothing.
template <class E, class Action>
std::u16string ErrorOf(Action&& action) {
  const std::u16string message = MessageOf<E>(std::forward<Action>(action));
  return message == kNothingRaised ? std::u16string() : message;
}

// For rows that check more than the message: what `read` takes from the E the
// action raises, or none when it raises nothing.
template <class E, class Action, class Read>
auto ReadRaised(Action&& action, Read&& read)
    -> std::optional<std::decay_t<decltype(read(std::declval<const E&>()))>> {
  try {
    std::forward<Action>(action)();
  } catch (const E& e) {
    return read(e);
  }
  return std::nullopt;
}

}  // namespace quorvex::test
