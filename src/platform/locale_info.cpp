#include "platform/locale_info.h"

#include <cctype>
#include <cstdlib>

namespace quorvex {

TLocaleName ParseLocaleName(const std::string& name) {
  TLocaleName result;
  if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return result;
  const size_t end = name.find_first_of(".@");
  const std::string base = name.substr(0, end);
  const size_t sep = base.find_first_of("_-");
  for (char c : base.substr(0, sep))
    result.language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (sep != std::string::npos)
    for (char c : base.substr(sep + 1))
      result.territory += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace quorvex
