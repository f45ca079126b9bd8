#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "history/uptime_figures.h"

namespace quorvex {

// What `--report` prints: a table for people, or JSON for programs. Times are
// in UTC, so that the report reads the same wherever it is made.
std::string reportTable(const std::vector<TServerFigures>& figures);
std::string reportJson(const std::vector<TServerFigures>& figures);

// Pieces the window and the status page show the same way.
std::string percentText(const std::optional<double>& percent);  // "99.65%", or "-"
std::string secondsText(const std::optional<double>& seconds);  // "2.35 s", or "-"
std::string spanText(int64_t ms);                               // "1h 5m", "45s"; "-" for 0
std::string utcText(int64_t ms);                                // "2026-12-11 16:20:05Z"
// "Failed (timed out)"; the name of a server with its control characters escaped.
std::string lastResultText(const TServerFigures& figures);
std::string shownServerName(const std::u16string& name);
// A JSON string literal, quotes included.
std::string jsonString(const std::string& utf8);

}  // namespace quorvex
