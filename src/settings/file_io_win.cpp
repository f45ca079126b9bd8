#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/exception.h"
#include "platform/text_encoding.h"
#include "settings/file_io.h"

namespace quorvex {

namespace {

std::u16string reason(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string result;
  for (const wchar_t* c = text; c && *c; ++c) result += static_cast<char16_t>(*c);
  LocalFree(text);
  while (!result.empty() &&
         (result.back() == u'\n' || result.back() == u'\r' || result.back() == u' '))
    result.pop_back();
  return result;
}

[[noreturn]] void raiseFileError(std::u16string_view verb, std::u16string_view name, DWORD error) {
  throw EFileError(u"Cannot " + std::u16string(verb) + u" file \"" + std::u16string(name) +
                   u"\". " + reason(error));
}

class THandle {
 public:
  explicit THandle(HANDLE handle) : _handle(handle) {}
  ~THandle() {
    if (valid()) CloseHandle(_handle);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE get() const { return _handle; }
  bool valid() const { return _handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE _handle;
};

}  // namespace

std::string folderOf(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

int makeFolders(const std::string& folder) {
  if (folder.empty() || GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
  const std::string parent = folderOf(folder);
  if (!parent.empty() && parent != folder && parent.back() != ':')
    if (const int error = makeFolders(parent)) return error;
  if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return static_cast<int>(GetLastError());
  return 0;
}

// Other writers are denied while the file is read.
std::string readWholeFile(const std::string& path, std::u16string_view displayName) {
  THandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) raiseFileError(u"open", displayName, GetLastError());
  if (GetFileType(file.get()) != FILE_TYPE_DISK)
    raiseFileError(u"open", displayName, ERROR_INVALID_FUNCTION);
  std::string bytes;
  char buffer[65536];
  DWORD n = 0;
  while (true) {
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr))
      raiseFileError(u"read", displayName, GetLastError());
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  return bytes;
}

// The new contents go to a file beside the old one, reach the disk, and
// replace the old one in one rename. The mode has no counterpart here: the
// file takes the folder's access rules.
void replaceFile(const std::string& path, std::string_view bytes, mode_t,
                 std::u16string_view displayName) {
  const std::string folder = folderOf(path);
  if (const DWORD error = makeFolders(folder)) raiseFileError(u"write", displayName, error);
  const std::string tempPath = path + ".new";
  DWORD error = 0;
  {
    THandle file(CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) raiseFileError(u"write", displayName, GetLastError());
    while (!bytes.empty() && !error) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr))
        error = GetLastError();
      else
        bytes.remove_prefix(written);
    }
    if (!error && !FlushFileBuffers(file.get())) error = GetLastError();
  }
  if (!error && !MoveFileExA(tempPath.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = GetLastError();
  if (error) {
    DeleteFileA(tempPath.c_str());
    raiseFileError(u"write", displayName, error);
  }
}

}  // namespace quorvex
