#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Folders searched after PATH: Debian installs openvpn in /usr/sbin, which a
// normal user's PATH lacks.
const std::vector<std::string>& systemProgramFolders();

// The folders of PATH in order (an empty entry is the working folder; no PATH
// at all is /bin:/usr/bin), then `extraFolders`.
std::vector<std::string> programSearchFolders(const std::vector<std::string>& extraFolders);

// The path of the first executable regular file called `name` in those
// folders; a name holding "/" is taken as it stands. Empty when none is found.
std::string findProgram(std::string_view name,
                        const std::vector<std::string>& extraFolders = systemProgramFolders());

}  // namespace quorvex
