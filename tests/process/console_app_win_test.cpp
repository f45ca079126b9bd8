// The console child on Windows: anonymous pipes, a hidden console of its own,
// a job, against a small fake openvpn.exe built beside the test.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "platform/exception.h"
#include "platform/executable_path.h"
#include "platform/text_encoding.h"
#include "process/console_app.h"
#include "support/raises.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

using test::TempFolder;

std::u16string fakeOpenVPN() {
  return TEncoding::System().GetString(FolderWithSeparator(ExecutablePath()) + "fake_openvpn.exe");
}

// Reads until `text` shows or ten seconds pass; all that was read.
std::u16string readUntil(TConsoleApp& app, const std::u16string& text) {
  std::u16string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (output.find(text) == std::u16string::npos && std::chrono::steady_clock::now() < deadline)
    output += app.readOutput(100);
  return output;
}

bool endsWithin(HANDLE process, DWORD ms) {
  return WaitForSingleObject(process, ms) == WAIT_OBJECT_0;
}

class ConsoleAppWin : public ::testing::Test {
 protected:
  TempFolder folder{"config dir"};
  std::unique_ptr<TConsoleApp> start(const std::string& config) {
    folder.write("server.ovpn", config);
    auto app = std::make_unique<TConsoleApp>(fakeOpenVPN(), u"openvpn --config \"server.ovpn\"",
                                             folder.u16path(""));
    app->run();
    return app;
  }
};

TEST_F(ConsoleAppWin, AnswersPromptsAndSeesTheSuccessLine) {
  auto app = start("client\nfake-user alice\nfake-password s3cret\n");
  EXPECT_NE(readUntil(*app, u"Username:").find(u"Enter Auth Username:"), std::u16string::npos);
  EXPECT_TRUE(app->writeInput(u"alice\r\n"));
  readUntil(*app, u"Password:");
  EXPECT_TRUE(app->writeInput(u"s3cret\r\n"));
  EXPECT_NE(readUntil(*app, u"Completed").find(u"Initialization Sequence Completed"),
            std::u16string::npos);
  EXPECT_TRUE(app->isRunning());
  // Releasing ends the child without waiting for it.
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, app->ProcessId());
  ASSERT_NE(child, nullptr);
  app.reset();
  EXPECT_TRUE(endsWithin(child, 10000));
  CloseHandle(child);
}

TEST_F(ConsoleAppWin, OutputOfAnEndedChildIsStillRead) {
  auto app = start("client\nfake-user alice\nfake-password s3cret\n");
  readUntil(*app, u"Username:");
  app->writeInput(u"alice\r\n");
  readUntil(*app, u"Password:");
  app->writeInput(u"wrong\r\n");
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, app->ProcessId());
  ASSERT_TRUE(endsWithin(child, 10000));
  CloseHandle(child);
  EXPECT_FALSE(app->isRunning());
  EXPECT_NE(readUntil(*app, u"exiting").find(u"AUTH_FAILED"), std::u16string::npos);
}

TEST_F(ConsoleAppWin, SilentChildGivesNothingAfterTenPauses) {
  auto app = start("client\nfake-user alice\nfake-password s3cret\n");
  readUntil(*app, u"Username:");
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(app->readOutput(100), u"");
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(90));
}

// Run only as the helper of the test below: a monitor that starts a child,
// says its id and dies without releasing it.
TEST_F(ConsoleAppWin, DISABLED_MonitorThatDies) {
  // Connected, the child waits to be ended: only its job can end it now.
  auto app = start("client\n");
  readUntil(*app, u"Completed");
  std::printf("CHILD %lu\n", app->ProcessId());
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 3);
}

TEST(ConsoleAppWinJob, ChildNeverOutlivesAMonitorThatDies) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::u16string self = TEncoding::System().GetString(ExecutablePath());
  std::u16string line = u"\"" + self +
                        u"\" --gtest_also_run_disabled_tests"
                        u" --gtest_filter=ConsoleAppWin.DISABLED_MonitorThatDies";
  PROCESS_INFORMATION monitor{};
  ASSERT_TRUE(CreateProcessW(reinterpret_cast<wchar_t*>(self.data()),
                             reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, TRUE, 0,
                             nullptr, nullptr, &startup, &monitor));
  CloseHandle(writeEnd);
  // The child inherits this pipe too, so its end shows nothing: read up to
  // the id's line. Bounded by the helper, which dies after that line.
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (output.find('\n', output.find("CHILD ")) == std::string::npos &&
         ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
    output.append(buffer, got);
  CloseHandle(readEnd);
  EXPECT_EQ(WaitForSingleObject(monitor.hProcess, 10000), WAIT_OBJECT_0);
  CloseHandle(monitor.hProcess);
  CloseHandle(monitor.hThread);
  const size_t at = output.find("CHILD ");
  ASSERT_NE(at, std::string::npos) << output;
  const DWORD childId = std::stoul(output.substr(at + 6));
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
  if (child) {  // null: it has ended and is gone already
    EXPECT_TRUE(endsWithin(child, 10000));
    CloseHandle(child);
  }
}

TEST_F(ConsoleAppWin, FailuresToStartNameTheCommand) {
  struct Case {
    std::u16string exeName, cmdLine, message;
  };
  const Case cases[] = {
      {u"", u"no-such-openvpn --config \"x.ovpn\"",
       u"Failed to start  no-such-openvpn --config \"x.ovpn\""},
      {u"C:\\missing\\openvpn.exe", u"openvpn",
       u"Failed to start C:\\missing\\openvpn.exe openvpn"},
  };
  for (const auto& c : cases) {
    TConsoleApp app(c.exeName, c.cmdLine, folder.u16path(""));
    EXPECT_EQ(test::MessageOf<Exception>([&] { app.run(); }), c.message);
    EXPECT_FALSE(app.isRunning());
  }
}

TEST_F(ConsoleAppWin, ConfigurationErrorEndsTheChild) {
  auto app = start("client\nfake-fail Options error: Unrecognized option\n");
  EXPECT_NE(readUntil(*app, u"Unrecognized").find(u"Options error"), std::u16string::npos);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (app->isRunning() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(app->isRunning());
}

}  // namespace
}  // namespace quorvex
