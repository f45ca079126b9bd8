#include "platform/open_files.h"

namespace quorvex {

// Windows counts handles per process without a limit a program can raise;
// sockets and pipes are waited on without select's descriptor bound.
TOpenFileLimit openFileLimit() { return {}; }

TOpenFileLimit raiseOpenFileLimit() { return {}; }

}  // namespace quorvex
