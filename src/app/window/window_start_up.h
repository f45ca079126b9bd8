#pragma once

#include <memory>
#include <string>

#include "app/program_options.h"
#include "app/window/main_window.h"

namespace quorvex {

class IRegistry;

// Qt aborts when it finds no display; say so in one line instead.
bool displayAvailable();
inline constexpr char kNoDisplayMessage[] =
    "quorvex: no display found (DISPLAY and WAYLAND_DISPLAY are unset); "
    "use --headless to monitor without a window";

struct TWindowStartUp {
  std::unique_ptr<TfrmMain> window;  // none when start-up ended the program
  int exitCode = 0;                  // meaningful when there is no window
};

// The settings start-up and the window. When OpenVPN cannot be found, or the
// server catalogue cannot be read, it shows the error in a box and returns
// no window. A null registry means the machine's.
TWindowStartUp createMainWindow(const std::u16string& settingsPath, TfrmMainServices services,
                                const IRegistry* registry = nullptr);

// The windowed program: start-up, then the event loop until the window closes.
int runWindow(int argc, char** argv, const TCommandLine& options);

}  // namespace quorvex
