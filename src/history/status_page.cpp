#include "history/status_page.h"

#include "history/history_report.h"
#include "history/history_store.h"
#include "platform/text.h"
#include "settings/file_io.h"

namespace quorvex {

namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

constexpr char kHead[] = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="color-scheme" content="light dark">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<meta http-equiv="refresh" content="60">
<title>Quorvex status</title>
<style>
:root{--on:#fff;--bg:#fff;--fg:#1f2328;--muted:#59636e;--card:#f6f8fa;--line:#d1d9e0;--up:#1a7f37;--down:#cf222e;--part:#bf8700;--none:#d1d9e0}
@media (prefers-color-scheme:dark){:root{--on:#0d1117;--bg:#0d1117;--fg:#e6edf3;--muted:#9198a1;--card:#151b23;--line:#3d444d;--up:#3fb950;--down:#f85149;--part:#d29922;--none:#3d444d}}
*{box-sizing:border-box}
body{margin:0;font:15px/1.45 system-ui,-apple-system,"Segoe UI",sans-serif;background:var(--bg);color:var(--fg)}
main{max-width:56rem;margin:0 auto;padding:1rem}
h1{font-size:1.4rem;margin:.5rem 0 1rem}
.summary{padding:.75rem 1rem;border-radius:.5rem;font-weight:600;color:var(--on);background:var(--up)}
.summary.down{background:var(--down)}
.summary.none{background:var(--muted)}
.server{border:1px solid var(--line);border-radius:.5rem;background:var(--card);padding:.75rem 1rem;margin:.75rem 0}
.head{display:flex;flex-wrap:wrap;justify-content:space-between;gap:.25rem 1rem}
.name{font-weight:600;overflow-wrap:anywhere}
.state{font-weight:600}
.state.up{color:var(--up)}.state.down{color:var(--down)}.state.unknown{color:var(--part)}
.figures{display:flex;flex-wrap:wrap;gap:.1rem 1.25rem;color:var(--muted);font-size:.9rem;margin:.35rem 0 .5rem}
.strip{display:grid;grid-template-columns:repeat(90,1fr);gap:1px;height:1.75rem}
.strip span{background:var(--none);border-radius:1px;min-width:0}
.strip .u{background:var(--up)}.strip .d{background:var(--down)}.strip .p{background:var(--part)}
.axis{display:flex;justify-content:space-between;color:var(--muted);font-size:.8rem}
footer{color:var(--muted);font-size:.8rem;margin:1.5rem 0 .5rem}
</style>
</head>
<body>
<main>
<h1>Quorvex status</h1>
)html";

struct TShownState {
  const char* cls;
  std::string text;
};

TShownState shownState(const TServerFigures& f) {
  const TResultSide side = sideOf(f.lastStatus);
  const std::string reason =
      f.lastReason.empty() ? "" : ": " + toUtf8(EscapeControls(f.lastReason));
  if (side == TResultSide::Up) return {"up", "Up"};
  if (side == TResultSide::Down) return {"down", "Down" + reason};
  return {"unknown", "Not tested" + reason};
}

std::string dayCell(const THistoryCell& cell, int64_t day) {
  const int64_t total = cell.up + cell.down;
  if (total == 0) return "<span></span>";
  const char* cls = cell.down == 0 ? "u" : cell.up == 0 ? "d" : "p";
  std::string title = utcText(day * kDayMs).substr(0, 10) + ": ";
  title += cell.down == 0 ? "all " + std::to_string(total) + " up"
                          : std::to_string(cell.down) + " of " + std::to_string(total) + " failed";
  return std::string("<span class=\"") + cls + "\" title=\"" + title + "\"></span>";
}

}  // namespace

std::string statusPageHtml(const std::vector<TServerFigures>& figures, int64_t nowMs) {
  std::string html = kHead;
  int down = 0;
  for (const TServerFigures& f : figures) down += sideOf(f.lastStatus) == TResultSide::Down;
  if (figures.empty()) {
    html += "<p class=\"summary none\">No results yet.</p>\n";
  } else if (down == 0) {
    html +=
        "<p class=\"summary up\">All " + std::to_string(figures.size()) + " servers are up.</p>\n";
  } else {
    html += "<p class=\"summary down\">" + std::to_string(down) + " of " +
            std::to_string(figures.size()) + " servers " + (down == 1 ? "is" : "are") +
            " down.</p>\n";
  }
  const int64_t firstDay = nowMs / kDayMs - kStripDays + 1;
  for (const TServerFigures& f : figures) {
    const TShownState state = shownState(f);
    int64_t daysUp = 0, daysDown = 0;
    for (const THistoryCell& cell : f.days) {
      daysUp += cell.up + cell.down > 0 && cell.down == 0;
      daysDown += cell.down > 0;
    }
    html += "<section class=\"server\" data-state=\"" + std::string(state.cls) + "\">\n";
    html += "<div class=\"head\"><span class=\"name\">" + escaped(shownServerName(f.server)) +
            "</span><span class=\"state " + state.cls + "\">" + escaped(state.text) +
            "</span></div>\n";
    html += "<div class=\"figures\"><span>24 hours: " + percentText(f.uptime24h) +
            "</span><span>7 days: " + percentText(f.uptime7d) +
            "</span><span>30 days: " + percentText(f.uptime30d) +
            "</span><span>Outages in 30 days: " + std::to_string(f.outages30d) +
            "</span><span>Longest: " + spanText(f.longestOutageMs) +
            "</span><span>Connect time: " + secondsText(f.connectMedianS) + "</span></div>\n";
    html +=
        "<div class=\"strip\" role=\"img\" aria-label=\"Last 90 days: " + std::to_string(daysUp) +
        " days up, " + std::to_string(daysDown) + " days with failures\">";
    for (size_t d = 0; d < f.days.size(); ++d)
      html += dayCell(f.days[d], firstDay + static_cast<int64_t>(d));
    html += "</div>\n<div class=\"axis\"><span>90 days ago</span><span>today</span></div>\n";
    html += "</section>\n";
  }
  html += "<footer>Updated " + utcText(nowMs) +
          ". Uptime is the share of successful tests; days are in UTC.</footer>\n";
  html += "</main>\n</body>\n</html>\n";
  return html;
}

void writeStatusPage(const std::string& path, const std::vector<TServerFigures>& figures,
                     int64_t nowMs) {
  // A page for others to read: readable by all, written by its owner.
  replaceFile(path, statusPageHtml(figures, nowMs), 0644, fromUtf8(path));
}

}  // namespace quorvex
