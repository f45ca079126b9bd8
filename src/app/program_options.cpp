#include "app/program_options.h"

#include "platform/exception.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/options.h"

namespace quorvex {

namespace {

// "NAME=VALUE" for an option of the table; the value is checked here so that
// a mistake ends the program before it tests anything. Returns an error or nothing.
std::optional<std::string> addOptionValue(TCommandLine& options, const std::string& text) {
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
  options.optionValues.emplace_back(name, value);
  return std::nullopt;
}

}  // namespace

TCommandLine parseCommandLine(const std::vector<std::string>& args) {
  TCommandLine options;
  auto fail = [&options](std::string message) {
    options.error = std::move(message);
    return options;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--headless") {
      options.headless = true;
    } else if (arg == "--once") {
      options.once = true;
    } else if (arg == "--verbose") {
      options.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--test-mail") {
      options.testMail = true;
    } else if (arg == "--oauth-login" || arg.rfind("--oauth-login=", 0) == 0) {
      if (arg == "--oauth-login" && i + 1 >= args.size())
        return fail("option '--oauth-login' needs microsoft or google");
      const std::string provider =
          arg == "--oauth-login" ? args[++i] : arg.substr(sizeof("--oauth-login=") - 1);
      if (provider != "microsoft" && provider != "google")
        return fail("option '--oauth-login' needs microsoft or google, not '" + provider + "'");
      options.oauthLogin = provider;
    } else if (arg == "--settings") {
      if (i + 1 >= args.size()) return fail("option '--settings' needs a file name");
      options.settingsFile = TEncoding::System().GetString(args[++i]);
    } else if (arg.rfind("--settings=", 0) == 0) {
      options.settingsFile = TEncoding::System().GetString(arg.substr(sizeof("--settings=") - 1));
    } else if (arg == "--state" || arg.rfind("--state=", 0) == 0) {
      if (arg == "--state" && i + 1 >= args.size())
        return fail("option '--state' needs a file name");
      const std::string file = arg == "--state" ? args[++i] : arg.substr(sizeof("--state=") - 1);
      if (file.empty()) return fail("option '--state' needs a file name");
      options.stateFile = TEncoding::System().GetString(file);
    } else if (arg == "--jobs" || arg.rfind("--jobs=", 0) == 0) {
      // The option of settings.xml, for this run.
      if (arg == "--jobs" && i + 1 >= args.size()) return fail("option '--jobs' needs a number");
      const std::string text = arg == "--jobs" ? args[++i] : arg.substr(sizeof("--jobs=") - 1);
      if (auto error = addOptionValue(options, "jobs=" + text)) return fail(*error);
      options.jobsGiven = true;
    } else if (arg == "--metrics" || arg.rfind("--metrics=", 0) == 0) {
      if (arg == "--metrics" && i + 1 >= args.size())
        return fail("option '--metrics' needs a file name");
      const std::string file =
          arg == "--metrics" ? args[++i] : arg.substr(sizeof("--metrics=") - 1);
      if (file.empty()) return fail("option '--metrics' needs a file name");
      options.metricsFile = TEncoding::System().GetString(file);
    } else if (arg == "--option" || arg.rfind("--option=", 0) == 0) {
      if (arg == "--option" && i + 1 >= args.size())
        return fail("option '--option' needs NAME=VALUE");
      const std::string text = arg == "--option" ? args[++i] : arg.substr(sizeof("--option=") - 1);
      if (auto error = addOptionValue(options, text)) return fail(*error);
    } else if (!arg.empty() && arg[0] == '-') {
      return fail("unknown option '" + arg + "'");
    } else {
      return fail("unexpected argument '" + arg + "'");
    }
    if (options.settingsFile && options.settingsFile->empty()) {
      return fail("option '--settings' needs a file name");
    }
  }
  if ((options.once || options.verbose) && !options.headless && !options.help && !options.version) {
    return fail("options '--once' and '--verbose' need '--headless'");
  }
  if (options.testMail && options.headless && !options.help && !options.version) {
    return fail("option '--test-mail' cannot be used with '--headless'");
  }
  if (options.oauthLogin && (options.headless || options.testMail) && !options.help &&
      !options.version) {
    return fail("option '--oauth-login' cannot be used with '--headless' or '--test-mail'");
  }
  if (options.jobsGiven && !options.headless && !options.help && !options.version) {
    return fail("option '--jobs' needs '--headless'");
  }
  if ((options.stateFile || !options.optionValues.empty()) && !options.headless && !options.help &&
      !options.version) {
    return fail("options '--state' and '--option' need '--headless'");
  }
  if (options.metricsFile && !options.headless && !options.help && !options.version) {
    return fail("option '--metrics' needs '--headless'");
  }
  return options;
}

std::string usageText(const std::string& programName) {
  std::string options =
      "\nOptions of settings.xml (element <options>; the window's Options page):\n";
  for (const TOptionSpec& spec : optionTable()) {
    std::string values;
    for (const TOptionChoice& choice : spec.choices)
      values += (values.empty() ? "" : "|") + toUtf8(choice.value);
    if (spec.type == TOptionType::Boolean) values = "true|false";
    if (spec.type == TOptionType::Integer)
      values = std::to_string(spec.minimum) + ".." + std::to_string(spec.maximum);
    if (spec.type == TOptionType::Text) values = "text";
    options += "  " + std::string(spec.element) + "=" + values + " (default: \"" +
               toUtf8(spec.defaultValue) + "\")\n      " + toUtf8(spec.help) + "\n";
  }
  return "usage: " + programName +
         " [--headless [--once] [--verbose] [--jobs N] [--state FILE]\n"
         "         [--metrics FILE] [--option NAME=VALUE]...\n"
         "       | --test-mail | --oauth-login microsoft|google] [--settings FILE]\n"
         "Tests whether the OpenVPN servers of this machine's client configurations\n"
         "accept a connection.\n"
         "\n"
         "  (no option)      open the window\n"
         "  --headless       test without a window, repeating every RepeatPeriod minutes\n"
         "                   until SIGINT or SIGTERM; one line per status change:\n"
         "                   time, server, status and, for a failure, the reason\n"
         "                   (timed out, refused, authentication refused, TLS failed,\n"
         "                   name not resolved, configuration error, device, ended,\n"
         "                   or why it could not start), separated by tabs; in the\n"
         "                   alert's subject and text <serverName> and <reason> stand\n"
         "                   for the server and why it failed\n"
         "  --once           with --headless: one cycle; the summary first, the status\n"
         "                   lines after it; then exit 0 (all up), 2 (any down) or\n"
         "                   3 (could not test, or a --settings file unreadable)\n"
         "  --verbose        with --headless: also print openvpn's output\n"
         "  --jobs N         with --headless: test up to N servers at once (default 1:\n"
         "                   one after the other; the option jobs below)\n"
         "  --state FILE     with --headless: where outages are remembered between runs\n"
         "                   (default $XDG_STATE_HOME/quorvex/state.xml)\n"
         "  --option NAME=VALUE  with --headless: an option below, for this run only\n"
         "  --metrics FILE   with --headless: after every status change, write the\n"
         "                   servers' figures to FILE in the Prometheus text format\n"
         "                   (for a textfile collector), replaced whole each time;\n"
         "                   quorvex_server_failure{server,reason} is 1 while down\n"
         "  --test-mail      send the test e-mail with the saved settings, then exit\n"

         "                   0 (sent) or 1 (not sent, the reason on standard error)\n"
         "  --oauth-login microsoft|google\n"
         "                   sign in once with OAuth 2.0 for the mail server and store the\n"
         "                   refresh token in the settings file (Microsoft: a code to enter\n"
         "                   in a browser; Google: an address to open)\n"
         "  --settings FILE  settings file to use instead of the default one\n"
         "  --help           show this text\n"
         "  --version        show the version\n" +
         options;
}

}  // namespace quorvex
