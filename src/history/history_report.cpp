#include "history/history_report.h"

#include <cstdio>
#include <ctime>

#include "platform/text.h"

namespace quorvex {

namespace {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string jsonNumber(const std::optional<double>& value) {
  return value ? fixed(*value, 3) : "null";
}

// Width on a terminal: code points, not bytes.
size_t shownWidth(const std::string& utf8) {
  size_t width = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++width;
  return width;
}

}  // namespace

std::string percentText(const std::optional<double>& percent) {
  return percent ? fixed(*percent, 2) + "%" : "-";
}

std::string secondsText(const std::optional<double>& seconds) {
  return seconds ? fixed(*seconds, 2) + " s" : "-";
}

std::string spanText(int64_t ms) {
  if (ms <= 0) return "-";
  const int64_t seconds = ms / 1000;
  const int64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60;
  if (days > 0) return std::to_string(days) + "d " + std::to_string(hours) + "h";
  if (hours > 0) return std::to_string(hours) + "h " + std::to_string(minutes) + "m";
  if (minutes > 0) return std::to_string(minutes) + "m " + std::to_string(seconds % 60) + "s";
  return std::to_string(seconds) + "s";
}

std::string utcText(int64_t ms) {
  const time_t seconds = static_cast<time_t>(ms / 1000);
  tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &parts);
  return text;
}

std::string shownServerName(const std::u16string& name) { return toUtf8(EscapeControls(name)); }

std::string lastResultText(const TServerFigures& figures) {
  std::string text = toUtf8(figures.lastStatus);
  if (!figures.lastReason.empty()) text += " (" + toUtf8(EscapeControls(figures.lastReason)) + ")";
  return text;
}

std::string reportTable(const std::vector<TServerFigures>& figures) {
  std::vector<std::vector<std::string>> rows = {{"Server", "Uptime 24h", "7d", "30d", "Outages 30d",
                                                 "Longest", "Connect median", "p95", "Last result",
                                                 "At (UTC)"}};
  for (const TServerFigures& f : figures)
    rows.push_back({shownServerName(f.server), percentText(f.uptime24h), percentText(f.uptime7d),
                    percentText(f.uptime30d), std::to_string(f.outages30d),
                    spanText(f.longestOutageMs), secondsText(f.connectMedianS),
                    secondsText(f.connectP95S), lastResultText(f),
                    f.lastTimeMs ? utcText(*f.lastTimeMs) : "-"});
  std::vector<size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], shownWidth(row[i]));
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - shownWidth(row[i]) + 2, ' ');
    }
    out += line + "\n";
  }
  if (figures.empty()) out += "(no results in the last 90 days)\n";
  return out;
}

std::string jsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string reportJson(const std::vector<TServerFigures>& figures) {
  std::string out = "[";
  for (size_t i = 0; i < figures.size(); ++i) {
    const TServerFigures& f = figures[i];
    out += i ? ",\n  {" : "\n  {";
    out += "\"server\": " + jsonString(toUtf8(f.server));
    out += ", \"uptime_24h\": " + jsonNumber(f.uptime24h);
    out += ", \"uptime_7d\": " + jsonNumber(f.uptime7d);
    out += ", \"uptime_30d\": " + jsonNumber(f.uptime30d);
    out += ", \"outages_30d\": " + std::to_string(f.outages30d);
    out += ", \"longest_outage_s\": " + fixed(static_cast<double>(f.longestOutageMs) / 1000.0, 3);
    out += ", \"connect_median_s\": " + jsonNumber(f.connectMedianS);
    out += ", \"connect_p95_s\": " + jsonNumber(f.connectP95S);
    out += ", \"last_status\": " + jsonString(toUtf8(f.lastStatus));
    out += ", \"last_reason\": " + jsonString(toUtf8(f.lastReason));
    out += ", \"last_time\": ";
    if (f.lastTimeMs) {
      std::string iso = utcText(*f.lastTimeMs);
      iso[10] = 'T';
      out += jsonString(iso);
    } else {
      out += "null";
    }
    out += "}";
  }
  out += figures.empty() ? "]\n" : "\n]\n";
  return out;
}

}  // namespace quorvex
