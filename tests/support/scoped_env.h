#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace quorvex::test {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : _name(name) {
    if (const char* old = std::getenv(name)) _old = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (_old) {
      setenv(_name, _old->c_str(), 1);
    } else {
      unsetenv(_name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* _name;
  std::optional<std::string> _old;
};

}  // namespace quorvex::test
