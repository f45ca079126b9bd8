#include "platform/host_name.h"

#include <unistd.h>

#include <cstring>

#include "platform/text_encoding.h"

namespace quorvex {

std::u16string LocalHostName() {
  char buffer[251] = {};
  if (gethostname(buffer, 250) != 0) return {};
  return TEncoding::System().GetString(std::string_view(buffer, strnlen(buffer, 250)));
}

}  // namespace quorvex
