// The cycle with real children on the real terminal: a stand-in openvpn,
// first on PATH, checks what it was given and says whether it "connected".

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "monitor/engine.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/cycle_fakes.h"
#include "support/engine_rig.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace quorvex::test {
namespace {

using test::ScopedEnv;

class RealChildTest : public ::testing::Test {
 protected:
  // Runs one cycle over the files of `folder` (created under the test's
  // folder) with `standIn` as openvpn; returns each server's status and the
  // output of the last test.
  std::vector<std::string> runCycle(const std::string& folder,
                                    const std::vector<std::string>& files,
                                    const std::string& standIn) {
    const std::string configDir = _root / folder;
    if (mkdir(configDir.c_str(), 0755) != 0) throw std::runtime_error("mkdir " + configDir);
    for (const auto& file : files) _root.write(folder + "/" + file, "client\n");
    mkdir((_root / "bin").c_str(), 0755);
    _root.script("bin/openvpn", standIn);
    const ScopedEnv path("PATH", (_root / "bin") + ":" + std::getenv("PATH"));
    const ScopedEnv configDirEnv("QUORVEX_CONFIG_DIR", configDir);

    TSettings settings(u"settings.xml");
    settings.loadFromRegistry();
    settings.init();
    TFakeView view(settings.ServerCount());
    TEngineRig rig(settings, view, view, consoleAppFactory(), TClock::System());
    TMonitorEngine& cycle = rig.engine;
    cycle.start();
    // Each tick reads for a few hundred ms at most; the stand-ins answer at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (view.timerEnabled && std::chrono::steady_clock::now() < deadline) cycle.tick();
    EXPECT_FALSE(view.timerEnabled) << "the cycle did not end";
    output = toUtf8(view.output);
    std::vector<std::string> statuses;
    for (const auto& row : view.rows) statuses.push_back(toUtf8(row.status));
    return statuses;
  }

  std::string output;

 private:
  test::TempFolder _root{"quorvex-app"};
};

TEST_F(RealChildTest, FileNamesReachOpenvpnAsOneArgumentWithTheirOwnBytes) {
  // A folder and a file name that are no UTF-8, and a name that would split
  // into more arguments if the command line were ever re-split.
  const auto statuses =
      runCycle("caf\xE9 vpn", {"x\" --up \"evil.ovpn", "caf\xE9.ovpn", "plain.conf"},
               "if [ $# = 6 ] && [ \"$1\" = --config ] && [ -f \"$2\" ] &&"
               " [ \"$3 $4 $5 $6\" = '--dev null --ifconfig-noexec --route-noexec' ]; then\n"
               "  echo 'Initialization Sequence Completed'; exec sleep 10\n"
               "fi\n"
               "echo \"got $# arguments: $*\"");
  EXPECT_EQ(statuses, std::vector<std::string>(3, "Successful")) << output;
}

TEST_F(RealChildTest, AnswersThePromptsOfSystemdsPasswordAgent) {
  // openvpn asks this way on a machine booted with systemd.
  const auto statuses =
      runCycle("vpn", {"office.conf"},
               "printf 'Enter Auth Username: '; IFS= read -r user\n"
               "printf 'Enter Auth Password: (press TAB for no echo) '; IFS= read -r pass\n"
               "[ \"$user:$pass\" = alice:s3cret ] && echo 'Initialization Sequence Completed'\n"
               "exec sleep 10");
  EXPECT_EQ(statuses, std::vector<std::string>{"Successful"}) << output;
  EXPECT_EQ(output.find("s3cret"), std::string::npos);
}

}  // namespace
}  // namespace quorvex::test
