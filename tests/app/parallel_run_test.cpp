// Many servers at once with real children on real terminals: a stand-in
// openvpn, first on PATH, plays a different child for each configuration.

#include "monitor/engine.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/headless.h"
#include "app/program_options.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "support/catalogue_fixture.h"
#include "support/child_support.h"
#include "support/cycle_fakes.h"
#include "support/engine_rig.h"
#include "support/fake_clock.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

namespace quorvex::test {
namespace {

using test::ScopedEnv;

// Each configuration names the child it gets.
constexpr char kStandIn[] =
    "case \"$2\" in\n"
    "  good.ovpn)\n"
    "    printf 'Enter Auth Username:'; IFS= read -r user\n"
    "    printf 'Enter Auth Password:'; IFS= read -r pass\n"
    "    [ \"$user:$pass\" = alice:s3cret ] && echo 'Initialization Sequence Completed'\n"
    "    exec sleep 60 ;;\n"
    "  late.ovpn) sleep 1; echo 'Initialization Sequence Completed'; exec sleep 60 ;;\n"
    "  flood.ovpn) exec yes 'a flood of output' ;;\n"
    "  silent.ovpn) echo 'waiting for a server that never answers'; exec sleep 60 ;;\n"
    "  dies.ovpn) echo 'Options error'; exit 1 ;;\n"
    "  device.ovpn) echo 'ERROR: Cannot open TUN/TAP dev /dev/net/tun'; exit 1 ;;\n"
    // Connects, then ignores the request to end: only SIGKILL ends it.
    "  stubborn.ovpn) echo $$ >stubborn.pid; trap '' TERM\n"
    "    echo 'Initialization Sequence Completed'; exec sleep 60 ;;\n"
    "  soon*.ovpn) sleep 0.5; echo 'Options error'; exit 1 ;;\n"
    // Silent, and takes a moment to end when asked.
    "  slow*.ovpn) trap 'sleep 0.1; exit 0' TERM; echo waiting; sleep 60 & wait $! ;;\n"
    "esac\n"
    "echo \"unexpected configuration $2\"; exit 1";

constexpr int kConnTimeout = 3;

// A catalogue of the stand-in's configurations, first on PATH.
class TStandInCatalogue {
 public:
  TStandInCatalogue(const std::vector<std::string>& names, int connTimeout) {
    mkdir((_root / "config").c_str(), 0755);
    mkdir((_root / "bin").c_str(), 0755);
    _root.script("bin/openvpn", kStandIn);
    for (const std::string& name : names) _root.write("config/" + name + ".ovpn", "client\n");
    _root.write("settings.xml",
                "<settings><username>alice</username><password>s3cret</password>"
                "<repeat_period>0</repeat_period><conn_timeout>" +
                    std::to_string(connTimeout) + "</conn_timeout></settings>");
    settings = std::make_unique<TSettings>(fromUtf8(_root / "settings.xml"));
    settings->loadFromRegistry();
    settings->loadFromFile();
    settings->init();
  }

  std::string path(const std::string& name) const { return _root / name; }

  test::TempFolder _root{"quorvex-jobs"};
  ScopedEnv _path{"PATH", (_root / "bin") + ":" + std::getenv("PATH")};
  ScopedEnv _configDir{"QUORVEX_CONFIG_DIR", _root / "config"};
  std::unique_ptr<TSettings> settings;
};

class ParallelRunTest : public ::testing::Test {
 protected:
  // The real child, but "broken" cannot be started.
  TProcessFactory factory() {
    return [real = consoleAppFactory()](const TChildCommand& command) {
      if (command.args.at(2) == "broken.ovpn") throw std::runtime_error("no terminal left");
      return real(command);
    };
  }

  std::map<std::string, std::string> statusByName(const std::string& out) const {
    std::map<std::string, std::string> result;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      const size_t first = line.find('\t');
      const size_t second = line.find('\t', first + 1);
      if (first != 19 || second == std::string::npos) continue;
      result[line.substr(first + 1, second - first - 1)] = line.substr(second + 1);
    }
    return result;
  }

  TStandInCatalogue _catalogue{{"good", "late", "flood", "silent", "dies", "device", "broken"},
                               kConnTimeout};
  const test::TempFolder& _root = _catalogue._root;
  std::unique_ptr<TSettings>& settings = _catalogue.settings;
};

// Runs `body` in a child process, whose limits it may change, and returns
// what it returned.
std::string inChildProcess(const std::function<std::string()>& body) {
  int out[2];
  if (pipe(out) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(out[0]);
    std::string text;
    try {
      text = body();
    } catch (const std::exception& e) {
      text = std::string("error: ") + e.what();
    }
    [[maybe_unused]] ssize_t n = write(out[1], text.data(), text.size());
    _exit(0);
  }
  close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return text;
}

TEST(JobsOptionTest, IsTheJobsOptionForOneRun) {
  const struct {
    std::vector<std::string> args;
    const char16_t* jobs;  // null: not given
    const char* error;     // part of the message; empty when fine
  } cases[] = {
      {{"--headless", "--jobs", "12"}, u"12", ""},
      {{"--headless", "--jobs=1"}, u"1", ""},
      {{"--headless", "--jobs", "10000"}, u"10000", ""},
      {{"--headless"}, nullptr, ""},
      {{"--headless", "--jobs", "0"}, nullptr, "must lie between 1 and 10000, not 0"},
      {{"--headless", "--jobs", "10001"}, nullptr, "must lie between 1 and 10000, not 10001"},
      {{"--headless", "--jobs", "many"}, nullptr, "''many'' is not a valid integer value"},
      {{"--headless", "--jobs"}, nullptr, "option '--jobs' needs a number"},
      {{"--jobs", "4"}, nullptr, "option '--jobs' needs '--headless'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const TCommandLine options = parseCommandLine(c.args);
    if (*c.error) {
      ASSERT_TRUE(options.error.has_value());
      EXPECT_NE(options.error->find(c.error), std::string::npos) << *options.error;
      continue;
    }
    ASSERT_FALSE(options.error.has_value()) << *options.error;
    if (!c.jobs) {
      EXPECT_TRUE(options.optionValues.empty());
      continue;
    }
    ASSERT_EQ(options.optionValues.size(), 1u);
    EXPECT_EQ(options.optionValues[0].first, "jobs");
    EXPECT_EQ(options.optionValues[0].second, c.jobs);
  }
}

TEST_F(ParallelRunTest, TheOpenFileLimitIsRaisedToTheHardOneAndAHardLimitTooLowIsNamed) {
  // Each test needs four descriptors beyond 32 kept in reserve; seven
  // servers need a limit of 60.
  const struct {
    rlim_t soft, hard;
    std::string expected;
  } cases[] = {
      {38, 38,
       "QUORVEX UNKNOWN - cannot test 7 servers at once: the limit of open files allows at most 1 "
       "(soft limit 38, hard limit 38; raise the hard limit, with LimitNOFILE= for the service or "
       "ulimit -Hn)\n"},
      {38, 59,
       "QUORVEX UNKNOWN - cannot test 7 servers at once: the limit of open files allows at most 6 "
       "(soft limit 59, hard limit 59; raise the hard limit, with LimitNOFILE= for the service or "
       "ulimit -Hn)\n"},
      {38, 60, "7 started; soft limit 60\n"},
      {60, 4096, "7 started; soft limit 4096\n"},
  };
  TCommandLine options{.headless = true, .once = true};
  // More than the seven servers: only seven would run.
  options.optionValues.emplace_back("jobs", u"20");
  applyOptionValues(*settings, options);
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.soft << "/" << c.hard);
    const std::string result = inChildProcess([&]() -> std::string {
      const rlimit low{c.soft, c.hard};
      if (setrlimit(RLIMIT_NOFILE, &low) != 0) return "setrlimit failed";
      std::ostringstream out, err;
      int started = 0;
      runHeadlessCycle(
          *settings, options,
          [&started](const TChildCommand&) -> std::unique_ptr<IConsoleProcess> {
            ++started;
            throw std::runtime_error("not to be started");
          },
          {mailsBy(noMail())}, out, err);
      if (started == 0) return out.str();
      rlimit now{};
      getrlimit(RLIMIT_NOFILE, &now);
      return std::to_string(started) + " started; soft limit " + std::to_string(now.rlim_cur) +
             "\n";
    });
    EXPECT_EQ(result, c.expected);
  }
}

TEST(ParallelVerboseTest, EachLineOfOutputCarriesItsServersName) {
  TCatalogueFixture catalogue({.servers = {"a", "b"}, .connTimeout = 30});
  TFakeChildren children;
  children.scripts[u"a.ovpn"] = {.reads = {u"line one\r\nEnter Auth User", u"name:", u"",
                                           u"Enter Auth Password:", u"",
                                           u"Initialization Sequence Completed\r\n"}};
  children.scripts[u"b.ovpn"] = {.reads = {u"b says hi\r\nand goes"}, .endsAfterReads = 1};
  TCommandLine options{.headless = true, .once = true, .verbose = true};
  options.optionValues.emplace_back("jobs", u"2");
  applyOptionValues(catalogue.settings(), options);
  std::ostringstream out, err;
  const TFakeClock clock;
  const int rc = runHeadlessCycle(catalogue.settings(), options, children.factory(),
                                  {mailsBy(noMail())}, out, err, clock);
  EXPECT_EQ(rc, kExitCritical);
  const std::string text = out.str();
  EXPECT_NE(text.find("a: line one\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("a: Enter Auth Username:alice\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("a: Enter Auth Password:\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("b: b says hi\r\n"), std::string::npos) << text;
  // A line the child left open is ended when its test ends.
  EXPECT_NE(text.find("b: and goes\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
  ASSERT_EQ(children.started.size(), 2u);
  for (const auto& log : children.started) {
    if (log->cmdLine.find(u"a.ovpn") == std::u16string::npos) continue;
    EXPECT_EQ(log->writes, (std::vector<std::u16string>{u"alice\r\n", u"s3cret\r\n"}));
  }
}

TEST(ParallelJobsTest, NeverMoreChildrenAtOnceThanJobs) {
  for (int jobs : {1, 2, 3}) {
    SCOPED_TRACE(jobs);
    TCatalogueFixture catalogue({.servers = {"a", "b", "c", "d", "e", "f"}});
    TFakeChildren children;
    // Each child ends after a few reads of its own, so tests finish at
    // different times and new ones start while others still run.
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
      children.scripts[fromUtf8(std::string(name) + ".ovpn")] = {
          .endsAfterReads = 1 + static_cast<int>(name[0] - 'a') % 3};
    TFakeView view(catalogue.settings().ServerCount());
    const TFakeClock clock;
    TEngineRig rig(catalogue.settings(), view, view, children.factory(), clock, jobs);
    int stopPipe[2];
    ASSERT_EQ(pipe(stopPipe), 0);
    EXPECT_FALSE(rig.engine.run(stopPipe[0]));
    close(stopPipe[0]);
    close(stopPipe[1]);
    EXPECT_EQ(children.started.size(), 6u);
    EXPECT_EQ(children.live->peak, jobs);
    EXPECT_EQ(children.live->now, 0);
  }
}

TEST(ParallelRepeatTest, CyclesAgainAndAnOutageKeepsItsOneAlert) {
  TCatalogueFixture catalogue({.servers = {"down", "up"}, .repeatPeriod = 0});
  TFakeChildren children;
  int stopPipe[2];
  ASSERT_EQ(pipe(stopPipe), 0);
  // The third test of "down" brings the stop.
  int downTests = 0;
  children.scripts[u"down.ovpn"] = {
      .reads = {u"gone\r\n"}, .endsAfterReads = 1, .onRead = [&](int reads) {
        if (reads == 1 && ++downTests == 3) {
          [[maybe_unused]] ssize_t n = write(stopPipe[1], "x", 1);
        }
      }};
  children.scripts[u"up.ovpn"] = {.reads = {u"Initialization Sequence Completed\r\n"}};
  TFakeView view(2);
  view.repeat = true;
  const TFakeClock clock;
  int alerts = 0;
  TEngineRig rig(catalogue.settings(), view, view, children.factory(), clock, 2,
                 [&alerts](const TVPNServer&, const std::u16string&) { ++alerts; });
  TMonitorEngine& run = rig.engine;
  TOutageBook& outages = rig.outages;
  EXPECT_TRUE(run.run(stopPipe[0]));
  close(stopPipe[0]);
  close(stopPipe[1]);
  const auto& down = view.rows.at(catalogue.row("down")).history;
  const auto& up = view.rows.at(catalogue.row("up")).history;
  // A repeat period of 0 minutes has passed as soon as any time has.
  EXPECT_GE(std::count(down.begin(), down.end(), u"Failed"), 2) << down.size();
  EXPECT_GE(std::count(up.begin(), up.end(), u"Successful"), 2) << up.size();
  EXPECT_EQ(alerts, 1);
  EXPECT_TRUE(outages.outage(catalogue.row("down")).alerted);
}

TEST_F(ParallelRunTest, EachChildIsJudgedOnItsOwnWhileTheOthersGoOn) {
  std::ostringstream out, err;
  std::vector<std::string> alerts;
  // Not verbose: the flood would fill the output.
  TCommandLine options{.headless = true, .once = true};
  options.optionValues.emplace_back("jobs", u"7");
  applyOptionValues(*settings, options);
  const auto start = std::chrono::steady_clock::now();
  const int rc =
      runHeadlessCycle(*settings, options, factory(),
                       {mailsBy([&alerts](const TVPNServer& server, const std::u16string&) {
                         alerts.push_back(toUtf8(server.Name()));
                       })},
                       out, err);
  const auto took = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(rc, kExitCritical) << out.str() << err.str();
  const std::map<std::string, std::string> expected{
      {"good", "Successful"},
      {"late", "Successful"},
      {"device", "Successful"},
      {"flood", "Failed\ttimed out"},
      {"silent", "Failed\ttimed out"},
      {"dies", "Failed\tended"},
      {"broken", "Failed to start\tno terminal left"}};
  EXPECT_EQ(statusByName(out.str()), expected) << err.str();
  // One alert per server found down, none for one that could not start;
  // those that died at once go out before those that timed out.
  ASSERT_EQ(alerts.size(), 3u);
  EXPECT_EQ(alerts[0], "dies");
  EXPECT_EQ(std::multiset<std::string>(alerts.begin() + 1, alerts.end()),
            (std::multiset<std::string>{"flood", "silent"}));
  // The time-outs ran side by side. (A bound for correctness, not speed.)
  EXPECT_LT(took, std::chrono::seconds(2 * kConnTimeout + 2));
}

TEST_F(ParallelRunTest, AStopEndsEveryChildAndMarksOnlyTheTestsCutShort) {
  TFakeView view(settings->ServerCount());
  const TClock& clock = TClock::System();
  // Two at a time: "device" and "dies" end at once, and two of the long ones
  // are under way when the stop comes; the rest never start.
  TEngineRig rig(*settings, view, view, factory(), clock, 2);
  TMonitorEngine& run = rig.engine;
  int stopPipe[2];
  ASSERT_EQ(pipe(stopPipe), 0);
  std::thread stopper([&stopPipe] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    [[maybe_unused]] ssize_t n = write(stopPipe[1], "x", 1);
  });
  const bool stopped = run.run(stopPipe[0]);
  stopper.join();
  close(stopPipe[0]);
  close(stopPipe[1]);
  EXPECT_TRUE(stopped);

  int interrupted = 0;
  for (int i = 0; i < settings->ServerCount(); ++i) {
    const std::string name = toUtf8(settings->Servers(i).Name());
    const auto& history = view.rows.at(i).history;
    SCOPED_TRACE(name);
    if (history.empty()) continue;  // never started
    if (history.back() == u"Interrupted") {
      ++interrupted;
      EXPECT_EQ(history, (std::vector<std::u16string>{u"Running", u"Interrupted"}));
    } else {
      EXPECT_NE(history.back(), u"Running");
    }
  }
  EXPECT_EQ(interrupted, 2);
  // No child is left: each ran in the configuration folder. A stand-in's own
  // child (the "sleep 1" of "late") got the same signal and may take a moment
  // more to go: looked for again for at most 2 s.
  const std::filesystem::path configDir = _root / "config";
  std::vector<std::string> left;
  for (int i = 0; i < 20 && (i == 0 || !left.empty()); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    left.clear();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::error_code error;
      const auto cwd = std::filesystem::read_symlink(entry.path() / "cwd", error);
      if (!error && cwd == configDir) left.push_back(entry.path().string());
    }
  }
  EXPECT_EQ(left, std::vector<std::string>{}) << "left running";
}

}  // namespace
}  // namespace quorvex::test

namespace quorvex::test {
namespace {

// Each status as it is reported, and each row's last.
struct TStatusRecorder final : IMonitorObserver {
  explicit TStatusRecorder(std::function<void(int, TVerdict)> seen) : seen(std::move(seen)) {}
  void statusChanged(const TStatusChange& change) override {
    last[change.row] = change.verdict;
    seen(change.row, change.verdict);
  }
  std::function<void(int, TVerdict)> seen;
  std::map<int, TVerdict> last;
};

TEST(ParallelEndingTest, AChildThatIgnoresTheRequestToEndHoldsUpNoOtherVerdict) {
  TStandInCatalogue catalogue({"stubborn", "soon1", "soon2", "soon3"}, 30);
  const TSettings& settings = *catalogue.settings;
  const TClock& clock = TClock::System();
  TFakeView view(settings.ServerCount());
  pid_t stubborn = 0;
  std::optional<TClock::TimePoint> stubbornJudged;
  std::vector<bool> stubbornAliveAtVerdicts;
  TStatusRecorder recorder([&](int row, TVerdict status) {
    const std::string name = toUtf8(settings.Servers(row).Name());
    if (status == TVerdict::Running) return;
    if (name == "stubborn") {
      stubbornJudged = clock.MonotonicNow();
      std::ifstream pidFile(catalogue.path("config/stubborn.pid"));
      pidFile >> stubborn;
    } else if (stubborn != 0) {
      stubbornAliveAtVerdicts.push_back(kill(stubborn, 0) == 0);
    }
  });
  int stopPipe[2];
  ASSERT_EQ(pipe(stopPipe), 0);
  {
    TEngineRig rig(settings, view, recorder, consoleAppFactory(), clock, 4);
    EXPECT_FALSE(rig.engine.run(stopPipe[0]));
  }
  const auto released = clock.MonotonicNow();
  close(stopPipe[0]);
  close(stopPipe[1]);

  for (int i = 0; i < settings.ServerCount(); ++i) {
    const bool isStubborn = settings.Servers(i).Name() == u"stubborn";
    EXPECT_EQ(recorder.last.at(i), isStubborn ? TVerdict::Successful : TVerdict::Failed) << i;
  }
  ASSERT_NE(stubborn, 0);
  ASSERT_TRUE(stubbornJudged.has_value());
  // The others were judged while it still ignored its SIGTERM...
  EXPECT_EQ(stubbornAliveAtVerdicts, std::vector<bool>(3, true));
  // ...and it got its grace period, then SIGKILL, before the run let go.
  EXPECT_GE(released - *stubbornJudged, kTerminateGrace - std::chrono::milliseconds(50));
  EXPECT_TRUE(processGone(stubborn));
}

TEST(ParallelEndingTest, TwoHundredTimeOutsAtOnceAreEachJudgedAtTheirTimeOut) {
  constexpr int kServers = 200;
  constexpr int kTimeout = 2;
  std::vector<std::string> names;
  for (int i = 0; i < kServers; ++i) names.push_back("slow" + std::to_string(i));
  TStandInCatalogue catalogue(names, kTimeout);
  const TSettings& settings = *catalogue.settings;
  const TClock& clock = TClock::System();
  TFakeView view(settings.ServerCount());
  std::vector<std::optional<TClock::TimePoint>> started(kServers), judged(kServers);
  TStatusRecorder recorder([&](int row, TVerdict status) {
    (status == TVerdict::Running ? started : judged).at(row) = clock.MonotonicNow();
  });
  int stopPipe[2];
  ASSERT_EQ(pipe(stopPipe), 0);
  {
    TEngineRig rig(settings, view, recorder, consoleAppFactory(), clock, kServers);
    EXPECT_FALSE(rig.engine.run(stopPipe[0]));
  }
  close(stopPipe[0]);
  close(stopPipe[1]);
  // Each child takes 0.1 s to end: ended one after the other, the last
  // verdict would come 20 s late.
  const auto bound = std::chrono::seconds(kTimeout) + std::chrono::milliseconds(1500);
  for (int i = 0; i < kServers; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(recorder.last.at(i), TVerdict::Failed);
    ASSERT_TRUE(started[i] && judged[i]);
    EXPECT_LE(*judged[i] - *started[i], bound);
  }
}

}  // namespace
}  // namespace quorvex::test
