#pragma once

// TConsoleApp: a console program run as a hidden child, on a pseudo-terminal
// on POSIX systems and on anonymous pipes on Windows.
#ifdef _WIN32
#include "process/console_app_win.h"
#else
#include "process/console_app_posix.h"
#endif
