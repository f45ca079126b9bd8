#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace quorvex {

// Whole-file access for the settings layer. Paths are in the file system's
// bytes; errors raise EFileError naming `displayName`.

// Reads a regular file to its end. Raises "Cannot open file "<name>". <reason>"
// when it cannot be opened or is not a regular file (nothing blocks on a FIFO).
std::string readWholeFile(const std::string& path, std::u16string_view displayName);

// The folder a path names a file in: "." for a bare name.
std::string folderOf(const std::string& path);
// Creates the missing folders of `folder`, each with mode 0700 (before
// umask); returns 0 or the errno of the failure.
int makeFolders(const std::string& folder);

// Replaces the file's contents so that a failure at any point leaves the old
// file as it was: the bytes go to a new file in the same folder, are flushed
// to disk and the new file is renamed over the old one. A symbolic link is
// followed, so the file it points to is replaced, not the link. Missing
// folders are created with mode 0700 (before umask). The file gets `mode`.
// Raises "Cannot write file "<name>". <reason>".
void replaceFile(const std::string& path, std::string_view bytes, mode_t mode,
                 std::u16string_view displayName);

}  // namespace quorvex
