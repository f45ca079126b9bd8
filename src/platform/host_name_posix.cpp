#include "platform/host_name.h"

#include <netdb.h>
#include <unistd.h>

#include <cstring>

#include "platform/text_encoding.h"

namespace quorvex {

std::u16string LocalHostName() {
  char buffer[251] = {};
  if (gethostname(buffer, 250) != 0) return {};
  return TEncoding::System().GetString(std::string_view(buffer, strnlen(buffer, 250)));
}

std::u16string LocalFullyQualifiedName() {
  const std::u16string host = LocalHostName();
  if (host.empty() || host.find(u'.') != std::u16string::npos) return host;
  const std::string bytes = TEncoding::System().GetBytes(host);
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  // Bounded by the resolver's own time-outs; the name normally comes from
  // /etc/hosts.
  if (getaddrinfo(bytes.c_str(), nullptr, &hints, &found) != 0) return host;
  std::u16string name;
  if (found->ai_canonname && std::strchr(found->ai_canonname, '.'))
    name = TEncoding::System().GetString(found->ai_canonname);
  freeaddrinfo(found);
  return name.empty() ? host : name;
}

}  // namespace quorvex
