#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/text.h"

namespace quorvex::test {

// A fresh folder under the temporary folder for one test, removed with
// everything in it. The prefix may hold blanks, to prove paths are quoted.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "quorvex") {
    // A name nobody else has, made by the one who creates it, for the owner alone.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && _path.empty(); ++attempt) {
      const auto candidate =
          std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) _path = candidate;
    }
    if (_path.empty()) throw std::runtime_error("no temporary folder for " + prefix);
    std::filesystem::permissions(_path, std::filesystem::perms::owner_all);
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
