#pragma once

#include <cstdlib>
#include <string>

namespace quorvex::test {

// Keys under HKEY_LOCAL_MACHINE written for one test with the system's own
// reg.exe, in the 64-bit view, and deleted when the test ends.
class ScopedRegistryKey {
 public:
  explicit ScopedRegistryKey(std::string path) : _path(std::move(path)) { remove(); }
  ~ScopedRegistryKey() { remove(); }
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

  // type: REG_SZ, REG_EXPAND_SZ, REG_DWORD, ...; true when reg.exe succeeded.
  bool set(const std::string& name, const std::string& type, std::string data) const {
    // Backslashes before the closing quote would escape it: they are doubled.
    const size_t last = data.find_last_not_of('\\');
    data += data.substr(last == std::string::npos ? 0 : last + 1);
    return run("reg add \"HKLM\\" + _path + "\" /v " + name + " /t " + type + " /d \"" + data +
               "\" /f /reg:64") == 0;
  }
  bool create() const { return run("reg add \"HKLM\\" + _path + "\" /f /reg:64") == 0; }
  const std::string& path() const { return _path; }

 private:
  static int run(const std::string& command) {
    return std::system((command + " >NUL 2>&1").c_str());
  }
  void remove() const { run("reg delete \"HKLM\\" + _path + "\" /f /reg:64"); }

  std::string _path;
};

}  // namespace quorvex::test
