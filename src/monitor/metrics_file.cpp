#include "monitor/metrics_file.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/file_io.h"

namespace quorvex {

namespace {

// A label value of the text format: control characters shown as escapes,
// then backslash, double quote and line feed escaped as the format wants;
// everything else is UTF-8 as it stands.
std::string labelValue(const std::u16string& name) {
  std::string out;
  for (const char c : toUtf8(EscapeControls(name))) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::optional<double> ratio(const std::optional<double>& percent) {
  if (!percent) return std::nullopt;
  return *percent / 100.0;
}

}  // namespace

TMetricsFile::TMetricsFile(std::vector<std::u16string> names, std::string path)
    : _names(std::move(names)), _figures(_names.size()), _path(std::move(path)) {}

void TMetricsFile::statusChanged(int row, TVerdict verdict, double wallTime,
                                 std::chrono::steady_clock::time_point now,
                                 const std::u16string& failureReason) {
  TServerFigures& figures = _figures.at(row);
  if (verdict == TVerdict::Running) {
    figures.started = now;
    return;
  }
  if (verdict == TVerdict::Interrupted) {
    figures.started.reset();  // no result: the last one stands
    return;
  }
  const TVerdictSide side = verdictSide(verdict);
  if (side == TVerdictSide::Neither) return;
  figures.up = side == TVerdictSide::Up;
  figures.failure = *figures.up ? u"" : (failureReason.empty() ? u"unknown" : failureReason);
  figures.lastTest = wallTime;
  figures.duration =
      figures.started ? std::chrono::duration<double>(now - *figures.started).count() : 0.0;
  figures.started.reset();
}

void TMetricsFile::alertSent(int row) { ++_figures.at(row).alerts; }

void TMetricsFile::historyChanged(int row, const THistoryGauges& gauges) {
  _figures.at(row).history = gauges;
}

void TMetricsFile::setNotifiers(std::vector<std::u16string> names) {
  _notifiers = std::move(names);
  _notifications.assign(_names.size(), std::vector<long long>(_notifiers.size()));
}

void TMetricsFile::notificationSent(int row, const std::u16string& notifier) {
  for (size_t n = 0; n < _notifiers.size(); ++n)
    if (_notifiers[n] == notifier) ++_notifications.at(row).at(n);
}

std::string TMetricsFile::text() const {
  struct TFamily {
    const char* name;
    const char* type;
    const char* help;
    std::optional<double> (*value)(const TServerFigures&);
  };
  static const TFamily families[] = {
      {"quorvex_server_up", "gauge",
       "Whether the server accepted a connection at its last test (1) or not (0).",
       [](const TServerFigures& f) -> std::optional<double> {
         if (!f.up) return std::nullopt;
         return *f.up ? 1.0 : 0.0;
       }},
      {"quorvex_server_last_test_timestamp_seconds", "gauge",
       "When the server's last test ended, in seconds since the epoch.",
       [](const TServerFigures& f) { return f.lastTest; }},
      {"quorvex_server_test_duration_seconds", "gauge", "How long the server's last test took.",
       [](const TServerFigures& f) { return f.duration; }},
      {"quorvex_alerts_sent_total", "counter",
       "Alert mails sent for the server since the monitor started.",
       [](const TServerFigures& f) -> std::optional<double> {
         return static_cast<double>(f.alerts);
       }},
  };
  std::string out;
  auto header = [&out](const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + ' ' + help + '\n';
    out += std::string("# TYPE ") + name + ' ' + type + '\n';
  };
  for (const TFamily& family : families) {
    header(family.name, family.type, family.help);
    for (size_t i = 0; i < _names.size(); ++i) {
      const std::optional<double> value = family.value(_figures[i]);
      if (!value) continue;
      out += std::string(family.name) + "{server=\"" + labelValue(_names[i]) + "\"} " +
             number(*value) + '\n';
    }
  }
  // One sample per server that is down, labelled with why.
  header("quorvex_server_failure", "gauge",
         "1 while the server's last test failed, labelled with the reason.");
  for (size_t i = 0; i < _names.size(); ++i) {
    if (_figures[i].failure.empty()) continue;
    out += "quorvex_server_failure{server=\"" + labelValue(_names[i]) + "\",reason=\"" +
           labelValue(_figures[i].failure) + "\"} 1\n";
  }
  // From the history, with what a series is told apart by in a label.
  struct THistoryFamily {
    const char* name;
    const char* help;
    const char* label;
    std::vector<std::pair<const char*, std::optional<double> (*)(const THistoryGauges&)>> series;
  };
  static const THistoryFamily historyFamilies[] = {
      {"quorvex_server_uptime_ratio",
       "Share of the server's tests in the period that were successful.",
       "period",
       {{"24h", [](const THistoryGauges& g) { return ratio(g.uptime24h); }},
        {"7d", [](const THistoryGauges& g) { return ratio(g.uptime7d); }},
        {"30d", [](const THistoryGauges& g) { return ratio(g.uptime30d); }}}},
      {"quorvex_server_outages_30d",
       "Outages of the server that lasted into the last 30 days.",
       nullptr,
       {{"",
         [](const THistoryGauges& g) -> std::optional<double> {
           return static_cast<double>(g.outages30d);
         }}}},
      {"quorvex_server_connect_seconds",
       "Time to a connection of the last 24 hours' successful tests, by quantile.",
       "quantile",
       {{"0.5", [](const THistoryGauges& g) { return g.connectMedian; }},
        {"0.95", [](const THistoryGauges& g) { return g.connectP95; }}}},
  };
  const bool anyHistory =
      std::any_of(_figures.begin(), _figures.end(), [](const auto& f) { return f.history; });
  for (const THistoryFamily& family : historyFamilies) {
    if (!anyHistory) break;  // a run without history keeps the file it always wrote
    header(family.name, "gauge", family.help);
    for (size_t i = 0; i < _names.size(); ++i) {
      if (!_figures[i].history) continue;
      for (const auto& [labelValueText, value] : family.series) {
        const std::optional<double> sample = value(*_figures[i].history);
        if (!sample) continue;
        out += std::string(family.name) + "{server=\"" + labelValue(_names[i]) + "\"";
        if (family.label) out += std::string(",") + family.label + "=\"" + labelValueText + "\"";
        out += "} " + number(*sample) + '\n';
      }
    }
  }
  if (_notifiers.empty()) return out;
  header("quorvex_notifications_sent_total", "counter",
         "Notifications sent for the server by each notifier since the monitor started.");
  for (size_t i = 0; i < _names.size(); ++i)
    for (size_t n = 0; n < _notifiers.size(); ++n)
      out += "quorvex_notifications_sent_total{server=\"" + labelValue(_names[i]) +
             "\",notifier=\"" + labelValue(_notifiers[n]) + "\"} " +
             std::to_string(_notifications[i][n]) + '\n';
  return out;
}

void TMetricsFile::write() const {
  // Readable by the collector, which runs as another user.
  replaceFile(_path, text(), 0644, TEncoding::System().GetString(_path));
}

}  // namespace quorvex
