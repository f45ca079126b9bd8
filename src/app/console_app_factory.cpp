#include "app/test_cycle.h"
#include "process/console_app.h"

namespace quorvex {

TTestCycle::ProcessFactory consoleAppFactory() {
  return [](const TChildCommand& command) -> std::unique_ptr<IConsoleProcess> {
    return std::make_unique<TConsoleApp>(command);
  };
}

}  // namespace quorvex
