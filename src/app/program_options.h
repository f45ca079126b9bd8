#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// Options of both front ends.
struct TCommandLine {
  bool headless = false;
  bool once = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
  bool testMail = false;
  // --oauth-login PROVIDER: "microsoft" or "google".
  std::optional<std::string> oauthLogin{};
  std::optional<std::u16string> settingsFile{};
  // --state FILE: where the headless front end keeps its outage state.
  std::optional<std::u16string> stateFile{};
  // --metrics FILE: the headless front end's figures in the Prometheus text format.
  std::optional<std::u16string> metricsFile{};
  // --option NAME=VALUE, in order: options of settings.xml set for this run.
  std::vector<std::pair<std::string, std::u16string>> optionValues{};
  bool jobsGiven = false;  // --jobs N, held in optionValues as jobs=N
  // Set when the arguments are not understood: a one-line message; the
  // program prints it and exits with kExitUnknown.
  std::optional<std::string> error{};
};

// Exit codes of the monitoring-plugin conventions.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCritical = 2;
inline constexpr int kExitUnknown = 3;

// args excludes the program name; every argument must be one of the options.
TCommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText(const std::string& programName);

}  // namespace quorvex
