#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "app/program_options.h"
#include "app/window/window_start_up.h"

// The window program; quorvex starts it when no front-end option is given and
// handles every other option itself.
int main(int argc, char** argv) {
  using namespace quorvex;
  std::setlocale(LC_ALL, "");
  const TCommandLine options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (options.error) {
    std::cerr << "quorvex: " << *options.error << " (try --help)" << std::endl;
    return kExitUnknown;
  }
  return runWindow(argc, argv, options);
}
