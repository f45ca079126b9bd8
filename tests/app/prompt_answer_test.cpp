// The login prompts answered over every split of their text into reads, by
// real children on real terminals: a stand-in openvpn that, like openvpn,
// flushes its input when it turns echo off for the password.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
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

constexpr size_t kPromptLength = sizeof "Enter Auth Password:" - 1;

class PromptAnswerTest : public ::testing::Test {
 protected:
  PromptAnswerTest() {
    mkdir((_root / "config").c_str(), 0755);
    mkdir((_root / "bin").c_str(), 0755);
    std::filesystem::create_symlink(QUORVEX_SOURCE_DIR "/tests/app/prompting_openvpn.py",
                                    _root / "bin/openvpn");
    // Every chunk size, and every single split point.
    for (size_t n = 1; n <= kPromptLength; ++n) {
      _root.write("config/size" + std::to_string(n) + ".ovpn", "client\n");
      if (n < kPromptLength) _root.write("config/at" + std::to_string(n) + ".ovpn", "client\n");
    }
    // Long enough for all the children to start side by side on a busy machine.
    _root.write("settings.xml",
                "<settings><username>alice</username><password>s3cret</password>"
                "<repeat_period>0</repeat_period><conn_timeout>10</conn_timeout></settings>");
    settings = std::make_unique<TSettings>(fromUtf8(_root / "settings.xml"));
    settings->loadFromRegistry();
    settings->loadFromFile();
    settings->init();
  }

  void expectAllSuccessful(const TFakeView& view) const {
    for (int i = 0; i < settings->ServerCount(); ++i)
      EXPECT_EQ(toUtf8(view.rows.at(i).status), "Successful")
          << toUtf8(settings->Servers(i).Name());
  }

  TempFolder _root{"quorvex-prompts"};
  ScopedEnv _path{"PATH", (_root / "bin") + ":" + std::getenv("PATH")};
  ScopedEnv _configDir{"QUORVEX_CONFIG_DIR", _root / "config"};
  std::unique_ptr<TSettings> settings;
};

TEST_F(PromptAnswerTest, EverySplitIsAnsweredOnceWhenCompleteForOneChildAndForAllAtOnce) {
  ASSERT_EQ(settings->ServerCount(), static_cast<int>(2 * kPromptLength - 1));
  for (const int jobs : {1, settings->ServerCount()}) {
    SCOPED_TRACE("jobs " + std::to_string(jobs));
    TFakeView view(settings->ServerCount());
    const TClock& clock = TClock::System();
    TEngineRig rig(*settings, view, view, consoleAppFactory(), clock, jobs);
    int stopPipe[2];
    ASSERT_EQ(pipe(stopPipe), 0);
    EXPECT_FALSE(rig.engine.run(stopPipe[0]));
    close(stopPipe[0]);
    close(stopPipe[1]);
    expectAllSuccessful(view);
  }
}

TEST_F(PromptAnswerTest, TheWindowsCycleAnswersEverySplitTheSameWay) {
  TFakeView view(settings->ServerCount());
  TEngineRig rig(*settings, view, view, consoleAppFactory(), TClock::System());
  TMonitorEngine& cycle = rig.engine;
  cycle.start();
  // Bounded: each test takes well under a second, and its time-out ends it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (view.timerEnabled && std::chrono::steady_clock::now() < deadline) cycle.tick();
  EXPECT_FALSE(view.timerEnabled) << "the cycle did not end";
  expectAllSuccessful(view);
}

}  // namespace
}  // namespace quorvex::test
