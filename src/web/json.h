#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/exception.h"

namespace quorvex {

class EJsonError : public Exception {
 public:
  using Exception::Exception;
};

// The members of one JSON object whose values are strings, numbers, true,
// false or null, each as text (strings decoded to UTF-8); members holding an
// object or an array are checked and left out. Raises EJsonError for
// anything that is not one well-formed object.
std::map<std::string, std::string> parseJsonObject(std::string_view text);

}  // namespace quorvex
