#include <windows.h>

#include "platform/host_name.h"

namespace quorvex {

namespace {

std::u16string computerName(COMPUTER_NAME_FORMAT format) {
  wchar_t buffer[256] = {};
  DWORD size = 256;
  if (!GetComputerNameExW(format, buffer, &size)) return {};
  std::u16string name;
  for (DWORD i = 0; i < size; ++i) name += static_cast<char16_t>(buffer[i]);
  return name;
}

}  // namespace

// The DNS host name is what the socket library's host-name call reports; it
// is read here without starting that library.
std::u16string LocalHostName() { return computerName(ComputerNameDnsHostname); }

std::u16string LocalFullyQualifiedName() {
  const std::u16string full = computerName(ComputerNameDnsFullyQualified);
  return full.find(u'.') != std::u16string::npos ? full : LocalHostName();
}

}  // namespace quorvex
