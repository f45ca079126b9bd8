#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/text.h"
#include "process/console_app.h"
#include "support/temp_folder.h"

namespace quorvex::test {

// A temp folder of its own per test. Its name has a blank in it, so every
// command line built from it needs its quotes.
class TempDir : public TempFolder {
 public:
  TempDir() : TempFolder("quorvex process") {}
};

inline std::u16string quoted(const std::string& path) { return u"\"" + fromUtf8(path) + u"\""; }

// Reads until `done` holds for everything read so far, or 10 s have passed.
inline std::u16string readUntil(TConsoleApp& app,
                                const std::function<bool(const std::u16string&)>& done) {
  std::u16string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done(text) && std::chrono::steady_clock::now() < deadline) text += app.readOutput(100);
  return text;
}

inline bool endsWith(const std::u16string& text, const std::u16string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Waits, at most 10 s, for the child to end by itself.
inline bool waitForEnd(TConsoleApp& app) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (app.isRunning()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// True when no live process has this pid. A process killed after its parent
// ended belongs to init, which may take a moment to reap it; a zombie counts as
// gone, it runs nothing.
inline bool processGone(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (true) {
    if (kill(pid, 0) == -1 && errno == ESRCH) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z')
      return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace quorvex::test
