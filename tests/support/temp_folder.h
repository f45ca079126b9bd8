#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/text.h"

namespace quorvex::test {

// A fresh folder under the temporary folder for one test, removed with
// everything in it. The prefix may hold blanks, to prove paths are quoted.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "quorvex") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    _path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(_path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return _path; }
  std::string operator/(const std::string& name) const { return (_path / name).string(); }
  std::u16string u16path(const std::string& name) const { return fromUtf8(*this / name); }

  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string file = *this / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  // Writes an executable shell script and returns its path.
  std::string script(const std::string& name, const std::string& body) const {
    const std::string file = write(name, "#!/bin/sh\n" + body + "\n");
    chmod(file.c_str(), 0755);
    return file;
  }

 private:
  std::filesystem::path _path;
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline mode_t permissions(const std::string& path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace quorvex::test
