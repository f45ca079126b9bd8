#include <gtest/gtest.h>

#include <chrono>

#include "platform/exception.h"
#include "platform/executable_path.h"
#include "process/output_command.h"
#include "support/temp_folder.h"

namespace quorvex {
namespace {

TEST(OutputCommandWin, OutputAndExitCodeOfAShortCommand) {
  const TCommandResult ok = runOutputCommand({"cmd", "/c", "echo token-1"}, 10000);
  EXPECT_FALSE(ok.timedOut);
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.out.substr(0, 7), "token-1");
  const TCommandResult failed = runOutputCommand({"cmd", "/c", "echo oops 1>&2 & exit 3"}, 10000);
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(failed.err.substr(0, 4), "oops");
}

TEST(OutputCommandWin, CommandPastItsBoundIsEnded) {
  test::TempFolder folder;
  const std::string config = folder.write("wait.ovpn", "client\n");
  const auto before = std::chrono::steady_clock::now();
  const TCommandResult late = runOutputCommand(
      {FolderWithSeparator(ExecutablePath()) + "fake_openvpn.exe", "--config", config}, 500);
  EXPECT_TRUE(late.timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
  EXPECT_NE(late.out.find("Initialization Sequence Completed"), std::string::npos);
}

TEST(OutputCommandWin, MissingProgramRaises) {
  EXPECT_THROW(runOutputCommand({"no-such-helper"}, 1000), Exception);
  EXPECT_THROW(runOutputCommand({}, 1000), Exception);
}

}  // namespace
}  // namespace quorvex
