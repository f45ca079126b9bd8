#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "app/headless.h"
#include "app/oauth_login_command.h"
#include "app/program_options.h"
#include "app/report_command.h"
#include "app/test_mail.h"
#include "app/test_notify.h"
#include "app/window_launch.h"

#ifndef QUORVEX_VERSION
#define QUORVEX_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  using namespace quorvex;
  std::setlocale(LC_ALL, "");
  const TCommandLine options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (options.error) {
    std::cerr << "quorvex: " << *options.error << " (try --help)" << std::endl;
    return kExitUnknown;
  }
  if (options.help) {
    std::cout << usageText("quorvex");
    return kExitOk;
  }
  if (options.version) {
    std::cout << "quorvex " << QUORVEX_VERSION << std::endl;
    return kExitOk;
  }
  if (options.report) return runReport(options, std::cout, std::cerr);
  if (options.testMail) return runTestMail(options.settingsFile, std::cout, std::cerr);
  if (options.testNotify)
    return runTestNotify(options.settingsFile, options.testNotifyName, std::cout, std::cerr);
  if (options.oauthLogin)
    return runOAuthLogin(options.settingsFile, *options.oauthLogin, std::cout, std::cerr);
  if (options.headless) return runHeadless(options, std::cout, std::cerr);
  return openWindow(argv);
}
