// The cycle with real children: a stand-in openvpn, first on PATH, checks the
// arguments and the working folder it was given.

#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/cycle_fakes.h"
#include "app/test_cycle.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace quorvex::fakes {
namespace {

using test_support::ScopedEnv;

TEST(TestCycleWithRealChildren, FileNamesReachOpenvpnAsOneArgumentWithTheirOwnBytes) {
  test_support::TempFolder root("quorvex-app");
  // A folder and a file name that are no UTF-8, and a name that would split
  // into more arguments if the command line were ever re-split.
  const std::string folder = root / "caf\xE9 vpn";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const char* const names[] = {"x\" --up \"evil.ovpn", "caf\xE9.ovpn", "plain.conf"};
  for (const char* name : names) root.write("caf\xE9 vpn/" + std::string(name), "client\n");
  ASSERT_EQ(mkdir((root / "bin").c_str(), 0755), 0);
  root.script("bin/openvpn",
              "if [ $# = 6 ] && [ \"$1\" = --config ] && [ -f \"$2\" ] &&"
              " [ \"$3 $4 $5 $6\" = '--dev null --ifconfig-noexec"
              " --route-noexec' ]; then\n"
              "  echo 'Initialization Sequence Completed'; exec sleep 10\n"
              "fi\n"
              "echo \"got $# arguments: $*\"");
  const ScopedEnv path("PATH", (root / "bin") + ":" + std::getenv("PATH"));
  const ScopedEnv configDir("QUORVEX_CONFIG_DIR", folder);

  TSettings settings(u"settings.xml");
  settings.loadFromRegistry();
  settings.init();
  ASSERT_EQ(settings.ServerCount(), 3);
  TFakeView view(settings.ServerCount());
  TTestCycle cycle(
      settings, view, consoleAppFactory(), [](const TVPNServer&) {}, makeSystemCycleClock());
  cycle.btnStartClick();
  // Each tick reads for at most a few hundred ms; the stand-in answers at once.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (view.timerEnabled && std::chrono::steady_clock::now() < deadline) cycle.tmrTestTimer();
  ASSERT_FALSE(view.timerEnabled);
  for (int i = 0; i < settings.ServerCount(); ++i) {
    SCOPED_TRACE(settings.Servers(i).OVPNFileBytes());
    EXPECT_EQ(toUtf8(view.rows[i].status), "Successful");
  }
}

}  // namespace
}  // namespace quorvex::fakes
