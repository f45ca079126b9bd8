#include "process/output_command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/exception.h"
#include "platform/program_search.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace quorvex {

namespace {

// A token helper prints one line; more is not kept.
constexpr size_t kMaxKept = 64 * 1024;

void pipeOrThrow(TUniqueFd& readEnd, TUniqueFd& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw Exception(u"Cannot create a pipe: " + u16(std::strerror(errno)));
  readEnd = TUniqueFd(fds[0]);
  writeEnd = TUniqueFd(fds[1]);
}

// This process's environment with `extra` set over it, as "NAME=value" texts.
std::vector<std::string> childEnvironment(const TEnvironment& extra) {
  std::vector<std::string> entries;
  for (char** e = environ; e && *e; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [extraName, value] : extra) replaced = replaced || name == extraName;
    if (!replaced) entries.emplace_back(entry);
  }
  for (const auto& [name, value] : extra) entries.push_back(name + '=' + value);
  return entries;
}

}  // namespace

TCommandResult runOutputCommand(const std::vector<std::string>& args, int timeoutMs,
                                const TEnvironment& environment) {
  if (args.empty() || args[0].empty()) throw Exception(u"The command is empty.");
  const std::string program = findProgram(args[0]);
  if (program.empty()) throw Exception(u"The program " + u16(args[0]) + u" was not found.");
  TUniqueFd outRead, outWrite, errRead, errWrite;
  pipeOrThrow(outRead, outWrite);
  pipeOrThrow(errRead, errWrite);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outWrite.get(), 1);
  posix_spawn_file_actions_adddup2(&actions, errWrite.get(), 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so a helper's own children go with it at the bound.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envEntries = childEnvironment(environment);
  std::vector<char*> envp;
  for (auto& e : envEntries) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int failed =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0)
    throw Exception(u"The program " + u16(program) + u" cannot be started: " +
                    u16(std::strerror(failed)));
  outWrite.reset();
  errWrite.reset();

  TCommandResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    // Bounded by the deadline.
    if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) == 0) {
      result.timedOut = true;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n <= 0) {
        fds[i].fd = -1;
        --open;
      } else if (sinks[i]->size() < kMaxKept) {
        sinks[i]->append(chunk, static_cast<size_t>(n));
      }
    }
  }
  int status = 0;
  // A program may close its output and go on: its end is awaited up to the
  // same deadline, then the group is killed (after which it ends at once).
  while (!result.timedOut && ::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline)
      result.timedOut = true;
    else
      ::usleep(5000);
  }
  if (result.timedOut) {
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (!result.timedOut)
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace quorvex
