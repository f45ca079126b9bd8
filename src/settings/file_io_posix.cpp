#include "settings/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/exception.h"
#include "platform/text_encoding.h"
#include "platform/unique_fd.h"

namespace quorvex {

namespace {

std::u16string reason(int error) { return TEncoding::System().GetString(std::strerror(error)); }

[[noreturn]] void raiseFileError(std::u16string_view verb, std::u16string_view name,
                                 std::u16string_view why) {
  throw EFileError(u"Cannot " + std::u16string(verb) + u" file \"" + std::u16string(name) +
                   u"\". " + std::u16string(why));
}

[[noreturn]] void raiseFileError(std::u16string_view verb, std::u16string_view name, int error) {
  raiseFileError(verb, name, reason(error));
}

std::string resolveLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

// Writes the new file; returns 0 or the error. Sets `tempPath` once the file
// exists, so that the caller can remove it.
int writeNewFile(const std::string& folder, const std::string& pattern, std::string& tempPath,
                 std::string_view bytes, mode_t mode) {
  if (const int error = makeFolders(folder)) return error;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  TUniqueFd fd(mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return errno;
  tempPath.assign(name.data());
  if (fchmod(fd.get(), mode) != 0) return errno;
  if (const int error = writeAll(fd.get(), bytes)) return error;
  if (fsync(fd.get()) != 0) return errno;
  return fd.close();
}

}  // namespace

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

int makeFolders(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return 0;
  if (errno != ENOENT) return errno;
  const std::string parent = folderOf(folder);
  if (parent != folder)
    if (const int error = makeFolders(parent)) return error;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return 0;
}

std::string readWholeFile(const std::string& path, std::u16string_view displayName) {
  TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) raiseFileError(u"open", displayName, errno);
  struct stat st {};
  if (fstat(fd.get(), &st) != 0) raiseFileError(u"open", displayName, errno);
  if (S_ISDIR(st.st_mode)) raiseFileError(u"open", displayName, EISDIR);
  if (!S_ISREG(st.st_mode)) raiseFileError(u"open", displayName, u"Not a regular file");
  std::string bytes;
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      raiseFileError(u"read", displayName, errno);
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

void replaceFile(const std::string& path, std::string_view bytes, mode_t mode,
                 std::u16string_view displayName) {
  const std::string target = resolveLink(path);
  const std::string base = target.substr(target.rfind('/') + 1);
  if (base.empty()) raiseFileError(u"write", displayName, EISDIR);
  const std::string folder = folderOf(target);
  const std::string pattern = (folder == "/" ? "" : folder) + "/." + base + ".XXXXXX";
  std::string tempPath;
  int error = writeNewFile(folder, pattern, tempPath, bytes, mode);
  if (!error && std::rename(tempPath.c_str(), target.c_str()) != 0) error = errno;
  if (error) {
    if (!tempPath.empty()) ::unlink(tempPath.c_str());
    raiseFileError(u"write", displayName, error);
  }
  // Make the rename itself durable; the new contents are already on disk.
  TUniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
}

}  // namespace quorvex
