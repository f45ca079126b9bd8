#pragma once

// A network of the test's own: a child process in a new network namespace
// with only its loopback, where every port is free, so a test may listen on
// a well-known port (25, 465) whatever the machine runs there and without
// root on the machine (an unprivileged user namespace will do).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace quorvex::test {

namespace own_network_detail {

inline bool WriteFile(const char* APath, const std::string& AText) {
  std::ofstream out(APath);
  out << AText;
  out.close();
  return bool(out);
}

// In the child: the namespace, then its loopback up. "" or why it failed.
inline std::string Enter() {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (::unshare(CLONE_NEWNET) != 0) {
    // Not root: a user namespace of its own makes it root there.
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
      return std::string("cannot make a network namespace: ") + std::strerror(errno);
    if (!WriteFile("/proc/self/setgroups", "deny") ||
        !WriteFile("/proc/self/uid_map", std::to_string(0) + " " + std::to_string(uid) + " 1") ||
        !WriteFile("/proc/self/gid_map", std::to_string(0) + " " + std::to_string(gid) + " 1"))
      return "cannot map the user into its namespace";
  }
  TUniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  if (fd.get() < 0 || ::ioctl(fd.get(), SIOCGIFFLAGS, &request) != 0) return "no loopback device";
  request.ifr_flags |= IFF_UP;
  if (::ioctl(fd.get(), SIOCSIFFLAGS, &request) != 0)
    return std::string("cannot bring the loopback up: ") + std::strerror(errno);
  return "";
}

constexpr int kCannotEnter = 77;

}  // namespace own_network_detail

// Runs ABody in its own network and reports its gtest failures as this
// test's. Returns "" when it ran, or why the network could not be made (the
// caller skips then). Waits at most AMSec for the body.
inline std::string RunInOwnNetwork(const std::function<void()>& ABody, int AMSec = 60000) {
  int reasonPipe[2];
  if (::pipe2(reasonPipe, O_CLOEXEC) != 0) return "no pipe";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return "cannot fork";
  if (pid == 0) {
    ::close(reasonPipe[0]);
    const std::string reason = own_network_detail::Enter();
    if (!reason.empty()) {
      (void)!::write(reasonPipe[1], reason.data(), reason.size());
      ::_exit(own_network_detail::kCannotEnter);
    }
    int code = 0;
    try {
      ABody();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the body in its own network threw: " << e.what();
    }
    if (::testing::Test::HasFailure()) code = 1;
    std::fflush(nullptr);
    ::_exit(code);  // no exit handlers: they belong to the parent
  }
  ::close(reasonPipe[1]);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMSec);
  pid_t done = 0;
  while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ::close(reasonPipe[0]);
    ADD_FAILURE() << "the body in its own network did not end within " << AMSec << " ms";
    return "";
  }
  std::string reason(256, '\0');
  const ssize_t n = ::read(reasonPipe[0], reason.data(), reason.size());
  reason.resize(n > 0 ? n : 0);
  ::close(reasonPipe[0]);
  if (WIFEXITED(status) && WEXITSTATUS(status) == own_network_detail::kCannotEnter)
    return reason.empty() ? "cannot make a network namespace" : reason;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the body in its own network failed (its messages are above), status " << status;
  return "";
}

}  // namespace quorvex::test
