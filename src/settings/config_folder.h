#pragma once

#include <string>
#include <vector>

namespace quorvex {

// The names, in the file system's bytes, of the entries of `folder` (ending in
// a separator) that may be configuration files: regular files (hidden ones
// too) with the platform's configuration extensions, in the order the
// platform lists them. An entry that cannot be examined is kept, so that
// opening it reports why. A missing folder has none.
std::vector<std::string> configFileCandidates(const std::string& folder);

// Added to the reason of a configuration that cannot be read: the way around.
extern const char16_t* const kUnreadableConfigHint;

}  // namespace quorvex
