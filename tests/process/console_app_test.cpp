#include "process/console_app.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "platform/text_encoding.h"
#include "support/child_support.h"
#include "support/raises.h"
#include "support/scoped_env.h"

namespace quorvex {
namespace {

using test::endsWith;
using test::processGone;
using test::quoted;
using test::readUntil;
using test::TempDir;
using test::waitForEnd;

// Starts a script by its full path, the way the monitor starts openvpn: no exe
// name, the program first on the command line.
std::unique_ptr<TConsoleApp> startScript(const std::string& script,
                                         const std::u16string& args = u"",
                                         const std::u16string& dir = u"") {
  auto app = std::make_unique<TConsoleApp>(u"", quoted(script) + args, dir);
  app->run();
  return app;
}

TEST(TConsoleApp, SilentChildGivesEmptyTextAndKeepsRunning) {
  TempDir dir;
  auto app = startScript(dir.script("silent.sh", "exec sleep 60"));
  EXPECT_EQ(app->readOutput(100), u"");
  EXPECT_TRUE(app->isRunning());
}

TEST(TConsoleApp, SilentChildIsPolledForTheWholeTimeOut) {
  TempDir dir;
  auto app = startScript(dir.script("silent.sh", "exec sleep 60"));
  for (int timeoutMs : {100, 300}) {
    SCOPED_TRACE(timeoutMs);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(app->readOutput(timeoutMs), u"");
    // Ten pauses of a tenth each: never much less than the time-out.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(timeoutMs));
  }
}

TEST(TConsoleApp, OutputOfEndedChildIsStillReadable) {
  TempDir dir;
  auto app = startScript(dir.script("done.sh", "printf 'line one\\nline two\\n'; exit 3"));
  ASSERT_TRUE(waitForEnd(*app));
  EXPECT_FALSE(app->isRunning());
  // The terminal turns the child's LF into CR LF, as a console does.
  EXPECT_EQ(app->readOutput(100), u"line one\r\nline two\r\n");
  EXPECT_EQ(app->readOutput(100), u"");
  EXPECT_FALSE(app->isRunning());
}

TEST(TConsoleApp, PromptIsReadAsItStandsAndAnswerArrivesAsOneLine) {
  TempDir dir;
  auto app = startScript(dir.script("prompt.sh",
                                    "printf 'Enter Auth Username:'\n"
                                    "IFS= read -r name\n"
                                    "printf 'got [%s]\\n' \"$name\"\n"
                                    "exec sleep 60"));
  const auto prompt = readUntil(*app, [](auto& t) { return endsWith(t, u"Username:"); });
  EXPECT_EQ(prompt, u"Enter Auth Username:");
  ASSERT_TRUE(app->writeInput(u"alice\r\n"));
  // No echo of "alice", and no CR left in the line the child read.
  const auto answer = readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); });
  EXPECT_EQ(answer, u"got [alice]\r\n");
}

TEST(TConsoleApp, AFlushOfTheChildsInputIsReportedAndTheOutputAroundItKept) {
  TempDir dir;
  // As a child does that turns echo off with TCSAFLUSH after its prompt.
  auto app =
      startScript(dir.script("flush.sh",
                             "exec /usr/bin/python3 -c '\n"
                             "import os, termios\n"
                             "os.write(1, b\"Password:\")\n"
                             "termios.tcflush(0, termios.TCIFLUSH)\n"
                             "os.write(1, b\"got [\" + os.read(0, 100).strip() + b\"]\\n\")\n"
                             "'"));
  ASSERT_EQ(app->inputFlushes(), 0u);
  const auto prompt = readUntil(
      *app, [&app](auto& t) { return endsWith(t, u"Password:") && app->inputFlushes() == 1u; });
  EXPECT_EQ(prompt, u"Password:");
  EXPECT_EQ(app->inputFlushes(), 1u);
  // Written after the flush, the answer arrives.
  ASSERT_TRUE(app->writeInput(u"alice\r\n"));
  EXPECT_EQ(readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); }), u"got [alice]\r\n");
  EXPECT_EQ(app->inputFlushes(), 1u);
}

TEST(TConsoleApp, TheTerminalPassesEveryAnswerByteForByte) {
  TempDir dir;
  // The child reads one line and prints its bytes in hex, so nothing the
  // terminal does to the output can hide what arrived.
  auto app = startScript(
      dir.script("hex.sh",
                 "IFS= read -r line; printf '%s' \"$line\" | od -An -tx1 | tr -d ' \\n';"
                 " echo; exec sleep 60"));
  // Erase (DEL, ^H), kill (^U), word-erase (^W), literal-next (^V), end of
  // file (^D), interrupt (^C), quit (^\\), suspend (^Z), stop and start (^S,
  // ^Q), reprint (^R), discard (^O): each must arrive as it is.
  const std::string answer =
      "ab\x7f"
      "cd\x7f"
      "\b"
      "\x15"
      "\x17"
      "\x16"
      "\x04"
      "\x03"
      "\x1c"
      "\x1a"
      "\x13"
      "\x11"
      "\x12"
      "\x0f"
      "z";
  ASSERT_TRUE(app->writeInput(fromUtf8(answer) + u"\r\n"));
  std::u16string expected;
  for (unsigned char c : answer) {
    const char hex[] = "0123456789abcdef";
    expected += char16_t(hex[c >> 4]);
    expected += char16_t(hex[c & 15]);
  }
  EXPECT_EQ(readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); }), expected + u"\r\n");
  EXPECT_TRUE(app->isRunning()) << "a character of the answer ended the child";
}

TEST(TConsoleApp, UnconvertibleCharactersAreSubstitutedAndWriteSucceeds) {
  TempDir dir;
  auto app = startScript(dir.script("echo.sh", "IFS= read -r line; printf '[%s]\\n' \"$line\""));
  const std::u16string text = u"x" + std::u16string(1, char16_t(0xD800)) + u"y";  // lone surrogate
  ASSERT_TRUE(app->writeInput(text + u"\r\n"));
  const auto& system = TEncoding::System();
  const std::u16string substituted = system.GetString(system.GetBytes(text));
  ASSERT_EQ(substituted.size(), 3u);
  EXPECT_NE(substituted[1], text[1]);
  EXPECT_EQ(readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); }),
            u"[" + substituted + u"]\r\n");
}

TEST(TConsoleApp, OutputIsNeitherCutNorCorrupted) {
  if (TEncoding::System().CharsetName() != "UTF-8") GTEST_SKIP() << "needs a UTF-8 locale";
  TempDir dir;
  // A zero byte mid-line, and a two-byte character whose halves arrive far
  // apart, in separate calls.
  auto app = startScript(
      dir.script("bytes.sh", "printf 'a\\000b\\n\\303'; sleep 0.5; printf '\\251!\\n'"));
  EXPECT_EQ(readUntil(*app, [](auto& t) { return endsWith(t, u"!\r\n"); }), u"ab\r\n\u00E9!\r\n");
}

TEST(TConsoleApp, EndlessOutputStillLetsTheCallReturn) {
  TempDir dir;
  auto app = startScript(dir.script("chatty.sh", "exec yes"));
  const auto text = app->readOutput(100);
  EXPECT_FALSE(text.empty());
  EXPECT_TRUE(endsWith(text.substr(0, text.rfind(u'\n') + 1), u"y\r\n"));
  EXPECT_TRUE(app->isRunning());
}

TEST(TConsoleApp, CommandLineBecomesArguments) {
  TempDir dir;
  const auto args = dir.script("args.sh", "printf '[%s]' \"$0\" \"$@\"; printf '\\n'");
  struct Case {
    std::u16string exeName;
    std::u16string cmdLine;
    std::u16string expected;
  };
  const std::u16string script = fromUtf8(args);
  const Case cases[] = {
      // The script's own path has a blank: the quotes keep it one argument.
      {u"", quoted(args) + u" one \"two  words\" \"\" three",
       u"[" + script + u"][one][two  words][][three]"},
      // Found through PATH, no shell in between: $HOME stays as it is.
      {u"", u"sh " + quoted(args) + u" '$HOME'", u"[" + script + u"]['$HOME']"},
      // An exe name is the program; the command line still gives every argument.
      {script, u"args x y", u"[" + script + u"][x][y]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.cmdLine));
    TConsoleApp app(c.exeName, c.cmdLine, u"");
    app.run();
    EXPECT_EQ(readUntil(app, [](auto& t) { return endsWith(t, u"\n"); }), c.expected + u"\r\n");
  }
}

TEST(TConsoleApp, ChildRunsInTheGivenFolder) {
  TempDir dir;
  const auto work = dir.path() / "work dir";
  std::filesystem::create_directory(work);
  auto app = startScript(dir.script("pwd.sh", "pwd -P"), u"", fromUtf8(work.string()));
  EXPECT_EQ(readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); }),
            fromUtf8(std::filesystem::canonical(work).string()) + u"\r\n");
}

TEST(TConsoleApp, ChildHasItsOwnTerminalAndNothingElseOfTheParent) {
  TempDir dir;
  // A descriptor the monitor holds without close-on-exec must still not reach
  // the child; /dev/tty opens only for a process with a controlling terminal.
  const int leaked = fcntl(STDERR_FILENO, F_DUPFD, 100);
  ASSERT_GE(leaked, 100);
  auto app = startScript(dir.script("tty.sh",
                                    "[ $(ps -o sid= -p $$) -eq $$ ] && echo own-session\n"
                                    "{ : </dev/tty; } 2>/dev/null && echo controlling-terminal\n"
                                    "exec ls -1 /proc/self/fd"));
  ASSERT_TRUE(waitForEnd(*app));
  ::close(leaked);
  // Descriptor 3 is the one ls reads the folder through.
  EXPECT_EQ(app->readOutput(100), u"own-session\r\ncontrolling-terminal\r\n0\r\n1\r\n2\r\n3\r\n");
}

TEST(TConsoleApp, FailedStartRaisesWithTheCommandLine) {
  TempDir dir;
  const auto ok = dir.script("ok.sh", "exit 0");
  struct Case {
    std::u16string exeName;
    std::u16string cmdLine;
    std::u16string dir;
  };
  const Case cases[] = {
      {u"", u"quorvex-no-such-program --config x", u""},
      {u"", u"/nonexistent/openvpn", u""},
      {u"/nonexistent/openvpn", u"openvpn --version", u""},
      {u"", quoted(ok), fromUtf8((dir.path() / "missing folder").string())},
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.cmdLine));
    auto app = std::make_unique<TConsoleApp>(c.exeName, c.cmdLine, c.dir);
    EXPECT_EQ(test::MessageOf<Exception>([&] { app->run(); }),
              u"Failed to start " + c.exeName + u" " + c.cmdLine);
    EXPECT_EQ(app->ProcessId(), 0);
    EXPECT_FALSE(app->isRunning());
    app.reset();  // terminates nothing: there is nothing of it to terminate
  }
  // Started from arguments, the message shows the command line as given for showing.
  TConsoleApp fromArgs(TChildCommand{{"quorvex-no-such-program", "--config", "a b.conf"},
                                     "",
                                     u"",
                                     u"quorvex-no-such-program --config \"a b.conf\""});
  EXPECT_EQ(test::MessageOf<Exception>([&] { fromArgs.run(); }),
            u"Failed to start  quorvex-no-such-program --config \"a b.conf\"");
  // The failed children were reaped, not left as zombies.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(TConsoleApp, ALaunchedChildThatCouldNotStartSaysSoOnceItHasEnded) {
  TempDir dir;
  const auto ok = dir.script("ok.sh", "exit 3");
  const std::u16string missing = fromUtf8((dir.path() / "missing folder").string());
  const struct {
    std::u16string cmdLine, dir;
    bool raises, startFailed;
  } cases[] = {
      // Known before the child exists: raised at once, as by run.
      {u"quorvex-no-such-program", u"", true, false},
      // Known only in the child: it ends, and says why.
      {quoted(ok), missing, false, true},
      // Ran and ended by itself: not a failed start.
      {quoted(ok), u"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(toUtf8(c.cmdLine + u" in " + c.dir));
    TConsoleApp app(u"", c.cmdLine, c.dir);
    if (c.raises) {
      EXPECT_EQ(test::MessageOf<Exception>([&] { app.launch(); }),
                u"Failed to start  " + c.cmdLine);
      continue;
    }
    app.launch();
    EXPECT_NE(app.ProcessId(), 0);
    ASSERT_TRUE(waitForEnd(app));
    EXPECT_EQ(app.startFailed(), c.startFailed);
    EXPECT_EQ(app.startFailed(), c.startFailed) << "asked again";
  }
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(TConsoleApp, ReleaseEndsTheChildAndItsGroupAndReapsThem) {
  struct Case {
    const char* name;
    std::string body;  // prints the pid of a grandchild, or of itself
  };
  const Case cases[] = {
      {"ends on SIGTERM", "echo $$; exec sleep 60"},
      {"ignores SIGTERM, with a grandchild", "trap '' TERM; sleep 60 & echo $!; wait; wait"},
      {"already ended", "echo $$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    auto app = startScript(dir.script("child.sh", c.body));
    const pid_t child = app->ProcessId();
    const auto text = readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); });
    const pid_t printed = std::stoi(toUtf8(text));
    app.reset();
    // Reaped by the release itself: no zombie, no pid of ours left.
    errno = 0;
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(kill(child, 0), -1);
    EXPECT_TRUE(processGone(printed));
  }
}

TEST(TConsoleApp, ReleaseGivesTheChildACleanShutdownFirst) {
  TempDir dir;
  const std::string marker = dir / "shut down cleanly";
  auto app = startScript(dir.script("clean.sh",
                                    "trap 'echo > \"$1\"; exit 0' TERM\n"
                                    "echo ready; sleep 60 & wait"),
                         u" " + quoted(marker));
  ASSERT_EQ(readUntil(*app, [](auto& t) { return endsWith(t, u"\n"); }), u"ready\r\n");
  app.reset();
  EXPECT_TRUE(std::filesystem::exists(marker)) << "the child got no SIGTERM before SIGKILL";
}

TEST(TConsoleApp, ProgramIsFoundInTheSystemFoldersAfterPath) {
  // A normal user's PATH on Debian lacks /usr/sbin, where openvpn lives.
  if (access("/usr/sbin/openvpn", X_OK) != 0) GTEST_SKIP() << "needs /usr/sbin/openvpn";
  const test::ScopedEnv path("PATH", "/usr/bin:/bin");
  TConsoleApp app(TChildCommand{{"openvpn", "--version"}, "", u"", u"openvpn --version"});
  app.run();
  const auto text =
      readUntil(app, [](auto& t) { return t.find(u"OpenVPN 2.") != std::u16string::npos; });
  EXPECT_NE(text.find(u"OpenVPN 2."), std::u16string::npos) << toUtf8(text);
}

TEST(TConsoleApp, ChildDoesNotOutliveAMonitorThatDied) {
  TempDir dir;
  // Ignores the hang-up of its terminal, as openvpn (which restarts on SIGHUP) does.
  const auto script = dir.script("tunnel.sh", "trap '' HUP; exec sleep 60");
  int pidPipe[2];
  ASSERT_EQ(pipe(pidPipe), 0);
  const pid_t monitor = fork();
  ASSERT_NE(monitor, -1);
  if (monitor == 0) {
    // A monitor that ends without releasing its child, as a crash would.
    auto* app = new TConsoleApp(u"", quoted(script), u"");
    app->run();
    const pid_t child = app->ProcessId();
    [[maybe_unused]] auto ignored = write(pidPipe[1], &child, sizeof child);
    _exit(0);
  }
  close(pidPipe[1]);
  pid_t child = 0;
  ASSERT_EQ(read(pidPipe[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  close(pidPipe[0]);
  ASSERT_EQ(waitpid(monitor, nullptr, 0), monitor);
  EXPECT_TRUE(processGone(child));
  kill(child, SIGKILL);  // should it have survived: leave nothing behind
}

TEST(TConsoleApp, WriteToAChildThatNeverReadsGivesUp) {
  TempDir dir;
  auto app = startScript(dir.script("deaf.sh", "exec sleep 60"));
  EXPECT_TRUE(app->writeInput(u"a short answer\r\n"));
  // Far more than the terminal holds: the write cannot finish, and must not hang.
  EXPECT_FALSE(app->writeInput(std::u16string(1 << 20, u'x')));
  EXPECT_TRUE(app->isRunning());
}

}  // namespace
}  // namespace quorvex
