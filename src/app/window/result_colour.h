#pragma once

#include <optional>

#include <QColor>

#include "monitor/verdict.h"

namespace quorvex {

// Text colour of a result cell of the server list, by column (1 "Connection
// Test", 2 "Last Run") and the row's status; none means the list's normal
// colour.
std::optional<QColor> resultColour(int column, TVerdict verdict);

}  // namespace quorvex
