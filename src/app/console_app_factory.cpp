#include "app/test_cycle.h"
#include "process/console_app.h"

namespace quorvex {

TTestCycle::ProcessFactory consoleAppFactory() {
  return [](const std::u16string& exeName, const std::u16string& cmdLine,
            const std::u16string& currDir) -> std::unique_ptr<IConsoleProcess> {
    return std::make_unique<TConsoleApp>(exeName, cmdLine, currDir);
  };
}

}  // namespace quorvex
