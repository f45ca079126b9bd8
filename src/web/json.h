#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// Writing: each function gives JSON text, and the containers take members
// and items already in JSON text, so that a document reads as it is nested:
//   jsonObject({{"text", jsonString(text)}, {"tags", jsonArray({jsonString("a")})}})
using TJsonMembers = std::vector<std::pair<std::string_view, std::string>>;
std::string jsonString(std::string_view utf8);
std::string jsonObject(const TJsonMembers& members);
std::string jsonArray(const std::vector<std::string>& items);

}  // namespace quorvex
