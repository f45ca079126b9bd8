#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/plugin_summary.h"  // the exit codes

namespace quorvex {

// Options of both front ends.
struct TCommandLine {
  bool headless = false;
  bool once = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
  bool testMail = false;
  // --test-notify [NAME]: every notifier, or the one named.
  bool testNotify = false;
  std::optional<std::u16string> testNotifyName{};
  // --oauth-login PROVIDER: "microsoft" or "google".
  std::optional<std::string> oauthLogin{};
  std::optional<std::u16string> settingsFile{};
  // --state FILE: where the headless front end keeps its outage state.
  std::optional<std::u16string> stateFile{};
  // --metrics FILE: the headless front end's figures in the Prometheus text format.
  std::optional<std::u16string> metricsFile{};
  // --history FILE: the history database ("none": no history).
  std::optional<std::u16string> historyFile{};
  // --report [--json]: the figures of the history, then exit.
  bool report = false;
  bool json = false;
  // --status-page FILE: the status page, rewritten after every result.
  std::optional<std::u16string> statusPage{};
  // --option NAME=VALUE, in order: options of settings.xml set for this run.
  std::vector<std::pair<std::string, std::u16string>> optionValues{};
  bool jobsGiven = false;  // --jobs N, held in optionValues as jobs=N
  // Set when the arguments are not understood: a one-line message; the
  // program prints it and exits with kExitUnknown.
  std::optional<std::string> error{};
};

// Where an option may stand on the command line.
enum class TOptionUse {
  Anywhere,      // with any front end
  FrontEnd,      // chooses what runs instead of the window; one at most
  HeadlessOnly,  // changes the headless run; needs --headless
  ReportOnly,    // changes the report; needs --report
  Answer,        // answered at once (--help, --version); nothing else is checked
};

// One option of the command line. Parsing (as "--name VALUE" or
// "--name=VALUE"), the checks, --help and with it the man page all walk
// commandOptionTable(), so a new option is one new row.
struct TCommandOption {
  std::string_view name;   // "--state"
  std::string_view value;  // the value as --help names it ("FILE"); empty: a flag
  std::string_view needs;  // the message's words for a missing value ("a file name")
  TOptionUse use;
  std::string_view help;  // one paragraph; --help wraps it
  // Takes the option (and its value) into the command line; returns why the
  // value is refused, or nothing.
  std::optional<std::string> (*apply)(TCommandLine& line, const std::string& value);
  bool emptyIsMissing = false;  // "--name=" and an empty value count as no value
  bool repeatable = false;      // may be given more than once
  std::string_view alias{};     // a second spelling of a flag ("-h")
  // The value may be left out: "--name" alone, or followed by an option.
  bool valueOptional = false;
};

std::span<const TCommandOption> commandOptionTable();

// args excludes the program name; every argument must be one of the options.
TCommandLine parseCommandLine(const std::vector<std::string>& args);

// The help: usage lines, a description, the options, then the options of
// settings.xml; laid out so that help2man makes the man page from it.
std::string usageText(const std::string& programName);

}  // namespace quorvex
