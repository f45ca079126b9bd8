#include "monitor/server_test.h"
#include "process/console_app.h"

namespace quorvex {

TProcessFactory consoleAppFactory() {
  return [](const TChildCommand& command) -> std::unique_ptr<IConsoleProcess> {
    return std::make_unique<TConsoleApp>(command);
  };
}

}  // namespace quorvex
