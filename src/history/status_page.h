#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "history/uptime_figures.h"

namespace quorvex {

// A status page to show others: one self-contained HTML file (no script,
// font, image or style from anywhere else, readable without JavaScript) with
// each server's state, its uptime and a strip of its last 90 days, in the
// reader's light or dark scheme, laid out for a phone as well as a screen.
// `figures` must hold the days.
std::string statusPageHtml(const std::vector<TServerFigures>& figures, int64_t nowMs);

// Replaces the file whole, so that a web server never hands out half a page.
// Raises the settings layer's file error.
void writeStatusPage(const std::string& path, const std::vector<TServerFigures>& figures,
                     int64_t nowMs);

}  // namespace quorvex
