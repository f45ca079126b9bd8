#pragma once

// A peer written in Python (Debian's /usr/bin/python3, which has the Debian
// packages such as aiosmtpd), started by a test. The script prints
// "READY <port>" once it listens and stops when its standard input closes;
// its standard error goes to the test's.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvex::test {

class TPythonPeer {
 public:
  TPythonPeer(const std::string& AScript, const std::vector<std::string>& AArgs) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    _pid = fork();
    if (_pid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      std::vector<std::string> args = {"/usr/bin/python3", AScript};
      args.insert(args.end(), AArgs.begin(), AArgs.end());
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    _stdin = in[1];
    // Bounded: the peer says READY within seconds or the test fails.
    std::string said;
    pollfd pfd{out[0], POLLIN, 0};
    char buffer[256];
    while (said.find('\n') == std::string::npos && poll(&pfd, 1, 20000) == 1) {
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      said.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    if (said.rfind("READY ", 0) != 0) {
      Stop();
      throw std::runtime_error(AScript + " did not start: " + said);
    }
    _port = static_cast<std::uint16_t>(std::stoi(said.substr(6)));
  }
  ~TPythonPeer() { Stop(); }
  TPythonPeer(const TPythonPeer&) = delete;
  TPythonPeer& operator=(const TPythonPeer&) = delete;

  std::uint16_t Port() const { return _port; }

 private:
  void Stop() {
    if (_stdin >= 0) close(_stdin);
    _stdin = -1;
    if (_pid <= 0) return;
    // Bounded: give it 5 s to stop on its own, then kill it.
    for (int i = 0; i < 50; ++i) {
      if (waitpid(_pid, nullptr, WNOHANG) == _pid) return;
      usleep(100000);
    }
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
  }

  pid_t _pid = -1;
  int _stdin = -1;
  std::uint16_t _port = 0;
};

}  // namespace quorvex::test
