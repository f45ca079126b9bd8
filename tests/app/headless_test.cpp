#include "app/headless.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_options.h"
#include "platform/exception.h"
#include "support/catalogue_fixture.h"
#include "support/cycle_fakes.h"
#include "support/engine_rig.h"
#include "support/fake_clock.h"

namespace quorvex::test {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// "date time<TAB>name<TAB>status" lines, without the time.
std::vector<std::string> statusLines(const std::string& text) {
  std::vector<std::string> result;
  for (const std::string& line : lines(text)) {
    const size_t tab = line.find('\t');
    if (tab == 19) result.push_back(line.substr(tab + 1));
  }
  return result;
}

TEST(CommandLineTest, ParsesTheOptionsOfBothFrontEnds) {
  struct Case {
    std::vector<std::string> args;
    bool headless, once, verbose, help, version;
    std::u16string settings;
    std::string error;  // part of the message; empty when the arguments are fine
  };
  const Case cases[] = {
      {{}, false, false, false, false, false, u"", ""},
      {{"--headless"}, true, false, false, false, false, u"", ""},
      {{"--headless", "--once", "--verbose"}, true, true, true, false, false, u"", ""},
      {{"--verbose", "--headless"}, true, false, true, false, false, u"", ""},
      {{"--settings", "/etc/q.xml", "--headless"},
       true,
       false,
       false,
       false,
       false,
       u"/etc/q.xml",
       ""},
      {{"--settings=/etc/q.xml"}, false, false, false, false, false, u"/etc/q.xml", ""},
      {{"--help"}, false, false, false, true, false, u"", ""},
      {{"--version"}, false, false, false, false, true, u"", ""},
      {{"--settings"}, false, false, false, false, false, u"", "needs a file name"},
      {{"--settings="}, false, false, false, false, false, u"", "needs a file name"},
      {{"--headless", "--bogus"},
       false,
       false,
       false,
       false,
       false,
       u"",
       "unknown option '--bogus'"},
      {{"-x"}, false, false, false, false, false, u"", "unknown option '-x'"},
      {{"--headless", "servers"}, false, false, false, false, false, u"", "unexpected argument"},
      {{"--once"}, false, false, false, false, false, u"", "need '--headless'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const TCommandLine options = parseCommandLine(c.args);
    if (!c.error.empty()) {
      ASSERT_TRUE(options.error.has_value());
      EXPECT_NE(options.error->find(c.error), std::string::npos) << *options.error;
      EXPECT_EQ(options.error->find('\n'), std::string::npos);
      continue;
    }
    ASSERT_FALSE(options.error.has_value()) << *options.error;
    EXPECT_EQ(options.headless, c.headless);
    EXPECT_EQ(options.once, c.once);
    EXPECT_EQ(options.verbose, c.verbose);
    EXPECT_EQ(options.help, c.help);
    EXPECT_EQ(options.version, c.version);
    EXPECT_EQ(options.settingsFile.value_or(u""), c.settings);
  }
}

TEST(SummarizeOnceTest, FollowsThePluginConventions) {
  using enum TVerdict;
  struct Case {
    std::vector<std::u16string> names;
    std::vector<TVerdict> statuses;
    std::string line;
    int exitCode;
  };
  const Case cases[] = {
      {{u"a", u"b", u"c"},
       {Successful, Successful, Successful},
       "QUORVEX OK - 3 of 3 servers up | up=3;;;0;3 down=0;;0;0;3",
       0},
      {{u"home", u"office", u"lab"},
       {Successful, Failed, Successful},
       "QUORVEX CRITICAL - 1 of 3 servers down: office | up=2;;;0;3 down=1;;0;0;3",
       2},
      {{u"a", u"b", u"c"},
       {FailedToStart, Successful, Failed},
       "QUORVEX CRITICAL - 2 of 3 servers down: a, c | up=1;;;0;3 down=2;;0;0;3",
       2},
      {{u"x|y"},
       {Failed},
       "QUORVEX CRITICAL - 1 of 1 servers down: x_y | up=0;;;0;1 down=1;;0;0;1",
       2},
      {{u"a", u"b"},
       {Successful, Interrupted},
       "QUORVEX UNKNOWN - interrupted before every server was tested",
       3},
      {{u"a"}, {NotRun}, "QUORVEX UNKNOWN - interrupted before every server was tested", 3},
      {{}, {}, "QUORVEX UNKNOWN - no client configurations to test", 3},
  };
  for (const Case& c : cases) {
    std::vector<TRowResult> rows;
    for (size_t i = 0; i < c.names.size(); ++i) rows.push_back({c.names[i], c.statuses[i]});
    const TOnceSummary summary = summarizeOnce(rows);
    EXPECT_EQ(summary.line, c.line);
    EXPECT_EQ(summary.exitCode, c.exitCode);
  }
  EXPECT_EQ(unknownSummary("bad\nfile").line, "QUORVEX UNKNOWN - bad file");
}

class HeadlessCycleTest : public ::testing::Test {
 protected:
  int run(const TCommandLine& options) {
    return runHeadlessCycle(catalogue.settings(), options, children.factory(),
                            {mailsBy([this](const TVPNServer& server, const std::u16string&) {
                              alerts.push_back(server.Name());
                              throw Exception(u"SMTP server not set");
                            })},
                            out, err, clock);
  }
  void script(const std::string& server, TChildScript s) {
    children.scripts[fromUtf8(server + ".ovpn")] = std::move(s);
  }

  TCatalogueFixture catalogue{{.servers = {"up", "down"}, .password = "pw-never-shown"}};
  TFakeChildren children;
  TFakeClock clock;
  std::vector<std::u16string> alerts;
  std::ostringstream out, err;
};

TEST_F(HeadlessCycleTest, OnceRunsOneCycleAndEndsWithTheSummary) {
  script("up", {.reads = {u"Enter Auth Password:", u"Initialization Sequence Completed\n"}});
  script("down", {.reads = {u"AUTH_FAILED\n"}, .endsAfterReads = 1});
  for (bool verbose : {false, true}) {
    SCOPED_TRACE(verbose ? "verbose" : "quiet");
    out.str("");
    err.str("");
    alerts.clear();
    const int code = run({.headless = true, .once = true, .verbose = verbose});
    EXPECT_EQ(code, 2);
    const std::vector<std::string> status = statusLines(out.str());
    EXPECT_EQ(status.size(), 4u);
    for (const char* expected : {"up\tRunning", "up\tSuccessful", "down\tRunning",
                                 "down\tFailed\tauthentication refused"}) {
      EXPECT_NE(std::find(status.begin(), status.end(), expected), status.end()) << expected;
    }
    // Monitoring engines take the first line; the status lines follow it.
    EXPECT_EQ(lines(out.str()).front(),
              "QUORVEX CRITICAL - 1 of 2 servers down: down (authentication refused) | up=1;;;0;2 "
              "down=1;;0;0;2");
    EXPECT_EQ(out.str().find("pw-never-shown"), std::string::npos);
    EXPECT_EQ(out.str().find("AUTH_FAILED") != std::string::npos, verbose);
    EXPECT_EQ(alerts, std::vector<std::u16string>{u"down"});
    EXPECT_EQ(err.str(), "quorvex: alert for down not sent: SMTP server not set\n");
  }
  for (const auto& child : children.started) EXPECT_TRUE(child->released);
}

TEST_F(HeadlessCycleTest, OnceKeepsTheResultsAStopSignalFindsAndInterruptsOnlyATestCutShort) {
  // The catalogue lists the folder in the platform's order.
  const std::string first = toUtf8(catalogue.settings().Servers(0).Name());
  const std::string last = toUtf8(catalogue.settings().Servers(1).Name());
  struct Case {
    const char* name;
    TChildScript last;  // its first read brings the signal
    std::string lastStatus;
    std::string summary;
    int exitCode;
  };
  const auto signalAtFirstRead = [](int reads) {
    if (reads == 1) raise(SIGTERM);
  };
  const Case cases[] = {
      {"after the last result, before the closing tick",
       {.reads = {u"AUTH_FAILED\n"}, .endsAfterReads = 1, .onRead = signalAtFirstRead},
       last + "\tFailed\tauthentication refused",
       "QUORVEX CRITICAL - 1 of 2 servers down: " + last +
           " (authentication refused) | up=1;;;0;2 down=1;;0;0;2",
       2},
      {"in the middle of the last test",
       {.onRead = signalAtFirstRead},
       last + "\tInterrupted",
       "QUORVEX UNKNOWN - interrupted before every server was tested",
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    children = TFakeChildren();
    out.str("");
    script(first, {.reads = {u"Initialization Sequence Completed\n"}});
    script(last, c.last);
    EXPECT_EQ(run({.headless = true, .once = true}), c.exitCode) << out.str();
    const std::vector<std::string> status = statusLines(out.str());
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(), c.lastStatus);
    EXPECT_EQ(lines(out.str()).front(), c.summary);
    for (const auto& child : children.started) EXPECT_TRUE(child->released);
  }
}

// The monitoring plugin guidelines, as an engine reads a check's output: the
// first line is "SERVICE STATE - text | perfdata", the state agrees with the
// exit code, each perfdata item is 'label'=value;warn;crit;min;max, and a
// value outside the critical range ("N" means 0..N) makes the state CRITICAL.
void expectPluginOutput(const std::string& output, int exitCode) {
  const std::vector<std::string> all = lines(output);
  ASSERT_FALSE(all.empty());
  static const char* const kStates[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  std::smatch first;
  ASSERT_TRUE(std::regex_match(
      all[0], first,
      std::regex(R"(QUORVEX (OK|WARNING|CRITICAL|UNKNOWN) - ([^|]+?)(?: \| (.*))?)")))
      << all[0];
  ASSERT_TRUE(exitCode >= 0 && exitCode <= 3);
  EXPECT_EQ(first[1].str(), kStates[exitCode]) << all[0];
  // The long output must not start perfdata of its own.
  for (size_t i = 1; i < all.size(); ++i) EXPECT_EQ(all[i].find('|'), std::string::npos) << all[i];
  if (exitCode == 3) return;
  ASSERT_TRUE(first[3].matched) << "no perfdata: " << all[0];
  std::istringstream items(first[3].str());
  bool critical = false;
  int count = 0;
  for (std::string item; items >> item; ++count) {
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(item, m, std::regex(R"(([A-Za-z_]+)=(\d+);(\d*);(\d*);(\d+);(\d+))")))
        << item;
    const long value = std::stol(m[2].str());
    EXPECT_LE(std::stol(m[5].str()), value) << item;
    EXPECT_LE(value, std::stol(m[6].str())) << item;
    if (m[4].length() > 0 && (value < 0 || value > std::stol(m[4].str()))) critical = true;
  }
  EXPECT_EQ(count, 2);
  EXPECT_EQ(critical, exitCode == 2) << all[0];
}

TEST_F(HeadlessCycleTest, OnceFollowsThePluginGuidelinesOneAtATimeAndSideBySide) {
  struct Case {
    const char* name;
    std::vector<TChildScript> scripts;  // up, down
    int exitCode;
    size_t statusLines;  // a child that cannot start has no "Running"
  };
  const TChildScript good{.reads = {u"Initialization Sequence Completed\n"}};
  const TChildScript refused{.reads = {u"AUTH_FAILED\n"}, .endsAfterReads = 1};
  const TChildScript broken{.runThrows = true};
  const Case cases[] = {
      {"all up", {good, good}, 0, 4},
      {"one down", {good, refused}, 2, 4},
      {"all down", {refused, refused}, 2, 4},
      {"one could not start", {broken, good}, 2, 3},
  };
  for (const char* jobs : {"1", "3"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", --jobs " + jobs);
      children = TFakeChildren();
      out.str("");
      script("up", c.scripts[0]);
      script("down", c.scripts[1]);
      TCommandLine options{.headless = true, .once = true, .verbose = true};
      options.optionValues.emplace_back("jobs", fromUtf8(jobs));
      applyOptionValues(catalogue.settings(), options);
      const int code = run(options);
      EXPECT_EQ(code, c.exitCode);
      expectPluginOutput(out.str(), code);
      EXPECT_EQ(statusLines(out.str()).size(), c.statusLines) << out.str();
    }
  }
}

TEST_F(HeadlessCycleTest, ControlCharactersInANameAreShownEscaped) {
  TCatalogueFixture forged{{.servers = {"vpn\r\nBcc: victim@evil\tRunning|x"}}};
  children.scripts[u"vpn"] = {.reads = {u"AUTH_FAILED\n"}, .endsAfterReads = 1};
  const int code = runHeadlessCycle(forged.settings(), {.headless = true, .once = true},
                                    children.factory(), {mailsBy(noMail())}, out, err, clock);
  EXPECT_EQ(code, 2);
  const std::vector<std::string> all = lines(out.str());
  // The summary, two status lines and the alert's: nothing forged.
  ASSERT_EQ(all.size(), 4u) << out.str();
  for (const std::string& line : all) EXPECT_NE(line.rfind("Bcc:", 0), 0u) << line;
  EXPECT_EQ(all[0],
            "QUORVEX CRITICAL - 1 of 1 servers down: vpn\\r\\nBcc: victim@evil\\tRunning_x "
            "(authentication refused) | up=0;;;0;1 down=1;;0;0;1");
  EXPECT_EQ(statusLines(out.str()).at(1),
            "vpn\\r\\nBcc: victim@evil\\tRunning_x\tFailed\tauthentication refused");
  expectPluginOutput(out.str(), code);
}

TEST_F(HeadlessCycleTest, StopSignalEndsTheRepeatingRunAndInterruptsTheTest) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    children = TFakeChildren();
    out.str("");
    // Both children hang; the first one's third read brings the signal.
    script("up", {.onRead = [signal](int reads) {
             if (reads == 3) raise(signal);
           }});
    script("down", {.onRead = [signal](int reads) {
             if (reads == 3) raise(signal);
           }});
    EXPECT_EQ(run({.headless = true}), 0);
    ASSERT_EQ(children.started.size(), 1u);
    EXPECT_EQ(children.last().readCount, 3);
    EXPECT_TRUE(children.last().released);
    const std::vector<std::string> status = statusLines(out.str());
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[1].substr(status[1].find('\t')), "\tInterrupted");
    EXPECT_EQ(lines(out.str()).back().find("QUORVEX"), std::string::npos);
  }
  // The handlers are gone again: the default action would end this test.
  struct sigaction current {};
  sigaction(SIGTERM, nullptr, &current);
  EXPECT_EQ(current.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace quorvex::test
