#pragma once

#include <iosfwd>

#include "app/program_options.h"

namespace quorvex {

// quorvex --report [--json] [--history FILE]: the figures of every server
// from the history, as a table or as JSON. Exit 0, or 3 (with the reason on
// the error stream) when there is no history to read.
int runReport(const TCommandLine& options, std::ostream& out, std::ostream& err);

}  // namespace quorvex
