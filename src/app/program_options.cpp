#include "app/program_options.h"

#include "platform/text_encoding.h"

namespace quorvex {

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
    } else if (arg == "--settings") {
      if (i + 1 >= args.size()) return fail("option '--settings' needs a file name");
      options.settingsFile = TEncoding::System().GetString(args[++i]);
    } else if (arg.rfind("--settings=", 0) == 0) {
      options.settingsFile = TEncoding::System().GetString(arg.substr(sizeof("--settings=") - 1));
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
  return options;
}

std::string usageText(const std::string& programName) {
  return "usage: " + programName +
         " [--headless [--once] [--verbose] | --test-mail] [--settings FILE]\n"
         "Tests whether the OpenVPN servers of this machine's client configurations\n"
         "accept a connection.\n"
         "\n"
         "  (no option)      open the window\n"
         "  --headless       test without a window, repeating every RepeatPeriod minutes\n"
         "                   until SIGINT or SIGTERM; one line per status change\n"
         "  --once           with --headless: one cycle, then exit 0 (all up),\n"
         "                   2 (any down) or 3 (could not test)\n"
         "  --verbose        with --headless: also print openvpn's output\n"
         "  --test-mail      send the test e-mail with the saved settings, then exit\n"
         "                   0 (sent) or 1 (not sent, the reason on standard error)\n"
         "  --settings FILE  settings file to use instead of the default one\n"
         "  --help           show this text\n"
         "  --version        show the version\n";
}

}  // namespace quorvex
