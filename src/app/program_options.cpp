#include "app/program_options.h"

#include <algorithm>

#include "platform/exception.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/options.h"

namespace quorvex {

namespace {

using Refusal = std::optional<std::string>;

// "NAME=VALUE" for an option of settings.xml; the value is checked here so
// that a mistake ends the program before it tests anything.
Refusal addOptionValue(TCommandLine& line, const std::string& text) {
  const size_t equals = text.find('=');
  const std::string name = text.substr(0, equals);
  const TOptionSpec* spec = findOption(name);
  if (!spec) return "option '--option' knows no '" + name + "' (see --help)";
  if (equals == std::string::npos) return "option '--option' needs " + name + "=VALUE";
  const std::u16string value = TEncoding::System().GetString(text.substr(equals + 1));
  try {
    TOptions().SetText(spec->id, value);
  } catch (const Exception& e) {
    return toUtf8(e.Message());
  }
  line.optionValues.emplace_back(name, value);
  return std::nullopt;
}

template <bool TCommandLine::*Flag>
Refusal setFlag(TCommandLine& line, const std::string&) {
  line.*Flag = true;
  return std::nullopt;
}

template <std::optional<std::u16string> TCommandLine::*File>
Refusal setFile(TCommandLine& line, const std::string& value) {
  line.*File = TEncoding::System().GetString(value);
  return std::nullopt;
}

Refusal setOAuthProvider(TCommandLine& line, const std::string& provider) {
  if (provider != "microsoft" && provider != "google")
    return "option '--oauth-login' needs microsoft or google, not '" + provider + "'";
  line.oauthLogin = provider;
  return std::nullopt;
}

// The option jobs of settings.xml, for this run.
Refusal setJobs(TCommandLine& line, const std::string& value) {
  if (auto refusal = addOptionValue(line, "jobs=" + value)) return refusal;
  line.jobsGiven = true;
  return std::nullopt;
}

Refusal setTestNotify(TCommandLine& line, const std::string& name) {
  line.testNotify = true;
  if (!name.empty()) line.testNotifyName = TEncoding::System().GetString(name);
  return std::nullopt;
}

// In the order of --help.
constexpr TCommandOption kOptions[] = {
    {"--headless", "", "", TOptionUse::FrontEnd,
     "test without a window, repeating every RepeatPeriod minutes until SIGINT or SIGTERM; one "
     "line per status change: time, server, status and, for a failure, the reason (timed out, "
     "refused, authentication refused, TLS failed, name not resolved, configuration error, "
     "device, ended, or why it could not start), separated by tabs; in the alert's subject and "
     "text <serverName> and <reason> stand for the server and why it failed",
     setFlag<&TCommandLine::headless>},
    {"--once", "", "", TOptionUse::HeadlessOnly,
     "one cycle; the summary first, the status lines after it; then exit 0 (all up), 2 (any "
     "down) or 3 (could not test, or a --settings file unreadable)",
     setFlag<&TCommandLine::once>},
    {"--verbose", "", "", TOptionUse::HeadlessOnly, "also print openvpn's output",
     setFlag<&TCommandLine::verbose>},
    {"--jobs", "N", "a number", TOptionUse::HeadlessOnly,
     "test up to N servers at once (default 1: one after the other; the option jobs below)",
     setJobs},
    {"--state", "FILE", "a file name", TOptionUse::HeadlessOnly,
     "where outages are remembered between runs (default $XDG_STATE_HOME/quorvex/state.xml)",
     setFile<&TCommandLine::stateFile>, true},
    {"--option", "NAME=VALUE", "NAME=VALUE", TOptionUse::HeadlessOnly,
     "an option below, for this run only", addOptionValue, false, true},
    {"--metrics", "FILE", "a file name", TOptionUse::HeadlessOnly,
     "after every status change, write the servers' figures to FILE in the Prometheus text "
     "format (for a textfile collector), replaced whole each time; "
     "quorvex_server_failure{server,reason} is 1 while down, and "
     "quorvex_notifications_sent_total{server,notifier} counts the notifications",
     setFile<&TCommandLine::metricsFile>, true},
    {"--history", "FILE", "a file name", TOptionUse::Anywhere,
     "keep every result in the SQLite database FILE (default history.sqlite beside the state "
     "file: $XDG_STATE_HOME/quorvex, or the folder of --state); none keeps no history",
     setFile<&TCommandLine::historyFile>, true},
    {"--status-page", "FILE", "a file name", TOptionUse::Anywhere,
     "after every result, write FILE, one HTML page (no script, nothing from elsewhere) with "
     "each server's state, its uptime and its last 90 days, replaced whole each time",
     setFile<&TCommandLine::statusPage>, true},
    {"--test-mail", "", "", TOptionUse::FrontEnd,
     "send the test e-mail with the saved settings, then exit 0 (sent) or 1 (not sent, the "
     "reason on standard error)",
     setFlag<&TCommandLine::testMail>},
    {"--oauth-login", "microsoft|google", "microsoft or google", TOptionUse::FrontEnd,
     "sign in once with OAuth 2.0 for the mail server and store the refresh token in the "
     "settings file (Microsoft: a code to enter in a browser; Google: an address to open)",
     setOAuthProvider},
    {"--report", "", "", TOptionUse::FrontEnd,
     "print from the history each server's uptime over 24 hours, 7 and 30 days, its outages of "
     "the last 30 days and the longest, the median and 95th percentile of the last day's "
     "connect times, and its last result (times in UTC); then exit 0, or 3 without a history",
     setFlag<&TCommandLine::report>},
    {"--json", "", "", TOptionUse::ReportOnly,
     "print the report as a JSON array of objects with the keys server, uptime_24h, uptime_7d, "
     "uptime_30d (percent), outages_30d, longest_outage_s, connect_median_s, connect_p95_s, "
     "last_status, last_reason and last_time",
     setFlag<&TCommandLine::json>},
    {"--test-notify",
     "NAME",
     "a notifier's name",
     TOptionUse::FrontEnd,
     "send a test notification through every notifier of the settings file (element "
     "<notifiers>), or the one named; one line each, then exit 0 (all sent) or 1",
     setTestNotify,
     true,
     false,
     {},
     true},
    {"--settings", "FILE", "a file name", TOptionUse::Anywhere,
     "settings file to use instead of the default one", setFile<&TCommandLine::settingsFile>, true},
    {"--help", "", "", TOptionUse::Answer, "show this text", setFlag<&TCommandLine::help>, false,
     false, "-h"},
    {"--version", "", "", TOptionUse::Answer, "show the version", setFlag<&TCommandLine::version>},
};

// Options named together when one of them lacks --headless, as the messages
// have always read.
constexpr std::string_view kNamedTogether[][2] = {{"--once", "--verbose"}, {"--state", "--option"}};

std::string quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

// 'a', 'a' and 'b', 'a', 'b' and 'c'; with `word` in place of "and".
std::string nameList(const std::vector<std::string_view>& names, const char* word) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? std::string(" ") + word + " " : ", ";
    text += quoted(names[i]);
  }
  return text;
}

std::vector<std::string_view> namedWith(std::string_view name) {
  for (const auto& pair : kNamedTogether)
    if (pair[0] == name || pair[1] == name) return {pair[0], pair[1]};
  return {name};
}

const TCommandOption* findByName(std::string_view arg) {
  for (const TCommandOption& option : kOptions)
    if (arg == option.name || (!option.alias.empty() && arg == option.alias)) return &option;
  return nullptr;
}

// "--name=VALUE" of an option that takes a value.
const TCommandOption* findWithValue(std::string_view arg) {
  const size_t equals = arg.find('=');
  if (equals == std::string_view::npos) return nullptr;
  const TCommandOption* option = findByName(arg.substr(0, equals));
  return option && !option->value.empty() ? option : nullptr;
}

// The rules between options, once all are read; nothing, or the message.
Refusal checkCombination(const std::vector<const TCommandOption*>& given) {
  const auto isGiven = [&given](const TCommandOption& option) {
    return std::find(given.begin(), given.end(), &option) != given.end();
  };
  for (const TCommandOption& option : kOptions)
    if (option.use == TOptionUse::Answer && isGiven(option)) return std::nullopt;
  std::vector<std::string_view> frontEndsBefore;
  for (const TCommandOption& option : kOptions) {
    const TCommandOption* needed = option.use == TOptionUse::HeadlessOnly ? findByName("--headless")
                                   : option.use == TOptionUse::ReportOnly ? findByName("--report")
                                                                          : nullptr;
    if (needed && isGiven(option) && !isGiven(*needed)) {
      const auto names = namedWith(option.name);
      return (names.size() == 1 ? "option " : "options ") + nameList(names, "and") +
             (names.size() == 1 ? " needs " : " need ") + quoted(needed->name);
    }
    if (option.use != TOptionUse::FrontEnd) continue;
    // One front end at a time: a later one names those before it.
    const bool clash =
        std::any_of(frontEndsBefore.begin(), frontEndsBefore.end(),
                    [&](std::string_view name) { return isGiven(*findByName(name)); });
    if (isGiven(option) && clash)
      return "option " + quoted(option.name) + " cannot be used with " +
             nameList(frontEndsBefore, "or");
    frontEndsBefore.push_back(option.name);
  }
  return std::nullopt;
}

// Breaks `text` into lines of at most `width` characters after `indent`
// blanks; the first line starts at `firstColumn`.
std::string wrapped(std::string_view text, size_t indent, size_t firstColumn, size_t width = 79) {
  std::string out;
  size_t column = firstColumn;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    if (column > indent && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    at = end + 1;
  }
  return out;
}

std::string spelled(const TCommandOption& option) {
  if (option.value.empty()) return std::string(option.name);
  const std::string value(option.value);
  return std::string(option.name) + (option.valueOptional ? " [" + value + "]" : " " + value);
}

std::string optional(const TCommandOption& option) {
  return " [" + spelled(option) + "]" + (option.repeatable ? "..." : "");
}

// "Usage:" and "or:" lines: the window, then each front end with its options.
std::string usageLines(const std::string& programName) {
  std::string anywhere;
  for (const TCommandOption& option : kOptions)
    if (option.use == TOptionUse::Anywhere) anywhere += optional(option);
  std::string lines = "Usage: " + programName + anywhere + "\n";
  for (const TCommandOption& frontEnd : kOptions) {
    if (frontEnd.use != TOptionUse::FrontEnd) continue;
    lines += "  or:  " + programName + " " + spelled(frontEnd);
    const TOptionUse own = frontEnd.name == "--headless" ? TOptionUse::HeadlessOnly
                           : frontEnd.name == "--report" ? TOptionUse::ReportOnly
                                                         : TOptionUse::Answer;
    if (own != TOptionUse::Answer)
      for (const TCommandOption& option : kOptions)
        if (option.use == own) lines += optional(option);
    lines += anywhere + "\n";
  }
  std::string answers;
  for (const TCommandOption& option : kOptions)
    if (option.use == TOptionUse::Answer)
      answers += (answers.empty() ? "" : " | ") + std::string(option.name);
  return lines + "  or:  " + programName + " " + answers + "\n";
}

// Each option on its own lines, its words from column 24.
constexpr size_t kHelpColumn = 24;

std::string optionLines() {
  std::string lines;
  for (const TCommandOption& option : kOptions) {
    const std::string tag =
        "  " + (option.alias.empty() ? "" : std::string(option.alias) + ", ") + spelled(option);
    const std::string words = (option.use == TOptionUse::HeadlessOnly ? "with --headless: "
                               : option.use == TOptionUse::ReportOnly ? "with --report: "
                                                                      : "") +
                              std::string(option.help);
    lines += tag;
    if (tag.size() + 2 > kHelpColumn) {
      lines += "\n" + std::string(kHelpColumn, ' ');
    } else {
      lines += std::string(kHelpColumn - tag.size(), ' ');
    }
    lines += wrapped(words, kHelpColumn, kHelpColumn) + "\n";
  }
  return lines;
}

std::string settingsOptionLines() {
  std::string lines;
  for (const TOptionSpec& spec : optionTable()) {
    std::string values;
    for (const TOptionChoice& choice : spec.choices)
      values += (values.empty() ? "" : "|") + toUtf8(choice.value);
    if (spec.type == TOptionType::Boolean) values = "true|false";
    if (spec.type == TOptionType::Integer)
      values = std::to_string(spec.minimum) + ".." + std::to_string(spec.maximum);
    if (spec.type == TOptionType::Text) values = "text";
    lines += "  " + std::string(spec.element) + "=" + values + "\n" +
             std::string(kHelpColumn, ' ') +
             wrapped(toUtf8(spec.help) + " (default: \"" + toUtf8(spec.defaultValue) + "\")",
                     kHelpColumn, kHelpColumn) +
             "\n";
  }
  return lines;
}

}  // namespace

std::span<const TCommandOption> commandOptionTable() { return kOptions; }

TCommandLine parseCommandLine(const std::vector<std::string>& args) {
  TCommandLine line;
  std::vector<const TCommandOption*> given;
  auto fail = [&line](std::string message) {
    line.error = std::move(message);
    return line;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const TCommandOption* option = findByName(arg);
    std::string value;
    const bool valueLeftOut =
        option && option->valueOptional && (i + 1 >= args.size() || args[i + 1].rfind('-', 0) == 0);
    if (option && !option->value.empty() && !valueLeftOut) {
      if (i + 1 >= args.size())
        return fail("option " + quoted(option->name) + " needs " + std::string(option->needs));
      value = args[++i];
    } else if (!option) {
      option = findWithValue(arg);
      if (!option) {
        if (!arg.empty() && arg[0] == '-') return fail("unknown option '" + arg + "'");
        return fail("unexpected argument '" + arg + "'");
      }
      value = arg.substr(arg.find('=') + 1);
    }
    if (!option->value.empty() && value.empty() && option->emptyIsMissing && !valueLeftOut)
      return fail("option " + quoted(option->name) + " needs " + std::string(option->needs));
    if (auto refusal = option->apply(line, value)) return fail(*refusal);
    given.push_back(option);
  }
  if (auto refusal = checkCombination(given)) return fail(*refusal);
  // The page is made from the history.
  if (line.statusPage && line.historyFile == u"none")
    return fail("option '--status-page' cannot be used with '--history none'");
  return line;
}

std::string usageText(const std::string& programName) {
  return usageLines(programName) +
         "Tests whether the OpenVPN servers of this machine's client configurations\n"
         "accept a connection. With no option it opens the window.\n"
         "\n"
         "Options:\n" +
         optionLines() +
         "\n"
         "Options of settings.xml (element <options>; the window's Options page):\n" +
         settingsOptionLines();
}

}  // namespace quorvex
