#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/program_options.h"
#include "platform/text.h"

namespace quorvex {
namespace {

// What a command line sets, one word per field, in the fields' order.
std::string describe(const TCommandLine& line) {
  std::string text;
  const auto add = [&text](const std::string& word) { text += (text.empty() ? "" : " ") + word; };
  if (line.headless) add("headless");
  if (line.once) add("once");
  if (line.verbose) add("verbose");
  if (line.help) add("help");
  if (line.version) add("version");
  if (line.testMail) add("test-mail");
  if (line.testNotify)
    add("test-notify" + (line.testNotifyName ? "=" + toUtf8(*line.testNotifyName) : ""));
  if (line.oauthLogin) add("oauth=" + *line.oauthLogin);
  if (line.settingsFile) add("settings=" + toUtf8(*line.settingsFile));
  if (line.stateFile) add("state=" + toUtf8(*line.stateFile));
  if (line.metricsFile) add("metrics=" + toUtf8(*line.metricsFile));
  if (line.historyFile) add("history=" + toUtf8(*line.historyFile));
  if (line.report) add("report");
  if (line.json) add("json");
  if (line.statusPage) add("status-page=" + toUtf8(*line.statusPage));
  for (const auto& [name, value] : line.optionValues) add(name + "=" + toUtf8(value));
  if (line.jobsGiven) add("jobs-given");
  return text;
}

struct Case {
  std::vector<std::string> args;
  std::string sets;   // describe() of the result when the line is good
  std::string error;  // the whole message when it is not
};
Case good(std::vector<std::string> args, std::string sets) { return {std::move(args), sets, ""}; }
Case bad(std::vector<std::string> args, std::string error) { return {std::move(args), "", error}; }

TEST(CommandLineTableTest, GoodAndBadLinesWithTheirExactMessages) {
  const Case cases[] = {
      good({}, ""),
      good({"--headless", "--once", "--verbose"}, "headless once verbose"),
      good({"--verbose", "--headless"}, "headless verbose"),
      // Both spellings of every option that takes a value.
      good({"--settings", "/etc/q.xml"}, "settings=/etc/q.xml"),
      good({"--settings=/etc/q.xml"}, "settings=/etc/q.xml"),
      good({"--headless", "--state", "s.xml"}, "headless state=s.xml"),
      good({"--headless", "--state=s.xml"}, "headless state=s.xml"),
      good({"--headless", "--metrics", "m.prom"}, "headless metrics=m.prom"),
      good({"--headless", "--metrics=m b.prom"}, "headless metrics=m b.prom"),
      good({"--headless", "--jobs", "4"}, "headless jobs=4 jobs-given"),
      good({"--headless", "--jobs=4"}, "headless jobs=4 jobs-given"),
      good({"--headless", "--option", "reminder_hours=2", "--option=full_tunnel=true"},
           "headless reminder_hours=2 full_tunnel=true"),
      good({"--report", "--json", "--history", "h.sqlite"}, "history=h.sqlite report json"),
      good({"--headless", "--status-page=s.html"}, "headless status-page=s.html"),
      good({"--history", "none"}, "history=none"),
      good({"--oauth-login", "google"}, "oauth=google"),
      good({"--oauth-login=microsoft", "--settings", "q.xml"}, "oauth=microsoft settings=q.xml"),
      good({"--test-mail", "--settings=q.xml"}, "test-mail settings=q.xml"),
      // The notifier's name may be left out, also before another option.
      good({"--test-notify"}, "test-notify"),
      good({"--test-notify", "team"}, "test-notify=team"),
      good({"--test-notify", "--settings", "q.xml"}, "test-notify settings=q.xml"),
      good({"--test-notify=team room", "--settings=q.xml"}, "test-notify=team room settings=q.xml"),
      // A value that looks like an option is the option's value.
      good({"--settings", "--headless"}, "settings=--headless"),
      // --help and --version are answered whatever else the line holds.
      good({"-h"}, "help"),
      good({"--once", "--help"}, "once help"),
      good({"--headless", "--test-mail", "--version"}, "headless version test-mail"),

      bad({"--settings"}, "option '--settings' needs a file name"),
      bad({"--settings="}, "option '--settings' needs a file name"),
      bad({"--settings", ""}, "option '--settings' needs a file name"),
      bad({"--headless", "--state"}, "option '--state' needs a file name"),
      bad({"--headless", "--metrics="}, "option '--metrics' needs a file name"),
      bad({"--headless", "--jobs"}, "option '--jobs' needs a number"),
      bad({"--headless", "--jobs=0"}, "The option jobs must lie between 1 and 10000, not 0"),
      bad({"--headless", "--option"}, "option '--option' needs NAME=VALUE"),
      bad({"--headless", "--option=colour=red"},
          "option '--option' knows no 'colour' (see --help)"),
      bad({"--test-notify="}, "option '--test-notify' needs a notifier's name"),
      bad({"--test-notify", "a", "b"}, "unexpected argument 'b'"),
      bad({"--oauth-login"}, "option '--oauth-login' needs microsoft or google"),
      bad({"--oauth-login="}, "option '--oauth-login' needs microsoft or google, not ''"),
      // Options of the headless run without --headless.
      bad({"--once"}, "options '--once' and '--verbose' need '--headless'"),
      bad({"--verbose"}, "options '--once' and '--verbose' need '--headless'"),
      bad({"--jobs", "2"}, "option '--jobs' needs '--headless'"),
      bad({"--state=s.xml"}, "options '--state' and '--option' need '--headless'"),
      bad({"--option", "jobs=2"}, "options '--state' and '--option' need '--headless'"),
      bad({"--metrics", "m", "--settings", "q.xml"}, "option '--metrics' needs '--headless'"),
      // One front end at a time.
      bad({"--test-mail", "--headless"}, "option '--test-mail' cannot be used with '--headless'"),
      bad({"--json"}, "option '--json' needs '--report'"),
      bad({"--headless", "--report"},
          "option '--report' cannot be used with '--headless', '--test-mail' or '--oauth-login'"),
      bad({"--status-page", "s.html", "--history=none"},
          "option '--status-page' cannot be used with '--history none'"),
      bad({"--history="}, "option '--history' needs a file name"),
      bad({"--oauth-login", "google", "--test-mail"},
          "option '--oauth-login' cannot be used with '--headless' or '--test-mail'"),
      bad({"--headless", "--test-notify"},
          "option '--test-notify' cannot be used with '--headless', '--test-mail', "
          "'--oauth-login' or '--report'"),
      // What is not an option.
      bad({"--headless", "--bogus"}, "unknown option '--bogus'"),
      bad({"-x"}, "unknown option '-x'"),
      bad({"--headless=yes"}, "unknown option '--headless=yes'"),
      bad({"--settingsx=q.xml"}, "unknown option '--settingsx=q.xml'"),
      bad({"--headless", "servers"}, "unexpected argument 'servers'"),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const TCommandLine line = parseCommandLine(c.args);
    EXPECT_EQ(line.error.value_or(""), c.error);
    if (c.error.empty()) {
      EXPECT_EQ(describe(line), c.sets);
    }
  }
}

// Runs a shell command; its standard output, or nothing when it failed.
std::optional<std::string> outputOf(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

// How --help and the man page name an option in their lists.
std::string tagOf(const TCommandOption& option) {
  return option.alias.empty() ? std::string(option.name)
                              : std::string(option.alias) + ", " + std::string(option.name);
}

// The help, and with it the man page made from it, shows every option of
// the table in its options list, and each front end in a usage line.
TEST(CommandLineTableTest, EveryOptionIsInTheHelpAndTheManPage) {
  const std::string help = usageText("quorvex");
  ASSERT_TRUE(
      help.starts_with("Usage: quorvex [--history FILE] [--status-page FILE] [--settings FILE]\n"))
      << help;
  for (const TCommandOption& option : commandOptionTable()) {
    SCOPED_TRACE(std::string(option.name));
    EXPECT_NE(help.find("\n  " + tagOf(option)), std::string::npos) << help;
    if (option.use == TOptionUse::FrontEnd) {
      EXPECT_NE(help.find("\n  or:  quorvex " + std::string(option.name)), std::string::npos);
    }
  }

  const std::string page = std::string(QUORVEX_BINARY_DIR) + "/quorvex.1";
  if (!std::ifstream(page)) GTEST_SKIP() << page << " is not built (the target manpage)";
  if (!outputOf("command -v man >/dev/null"))
    GTEST_SKIP() << "man is not installed (Debian package man-db)";
  const auto shown = outputOf("MANWIDTH=200 MAN_KEEP_FORMATTING= man -l '" + page + "' 2>&1");
  ASSERT_TRUE(shown) << "man -l " << page << " failed";
  const auto at = [&](const std::string& text) { return shown->find(text); };
  const size_t synopsis = at("\nSYNOPSIS\n"), description = at("\nDESCRIPTION\n"),
               options = at("\nOPTIONS\n");
  ASSERT_NE(synopsis, std::string::npos) << *shown;
  ASSERT_NE(description, std::string::npos) << *shown;
  ASSERT_NE(options, std::string::npos) << *shown;
  EXPECT_LT(synopsis, description);
  EXPECT_LT(description, options);
  // The usage lines are the synopsis, not the description.
  const std::string synopsisText = shown->substr(synopsis, description - synopsis);
  EXPECT_EQ(shown->find("Usage:"), std::string::npos) << *shown;
  for (const TCommandOption& option : commandOptionTable()) {
    SCOPED_TRACE(std::string(option.name));
    EXPECT_NE(synopsisText.find(std::string(option.name)), std::string::npos) << synopsisText;
    // Each option starts a paragraph of its own in OPTIONS.
    EXPECT_NE(shown->find("\n       " + tagOf(option), options), std::string::npos) << *shown;
  }
}

}  // namespace
}  // namespace quorvex
