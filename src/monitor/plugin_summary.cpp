#include "monitor/plugin_summary.h"

#include "monitor/report_text.h"

namespace quorvex {

TOnceSummary summarizeOnce(const std::vector<TRowResult>& rows) {
  const size_t total = rows.size();
  if (total == 0) return unknownSummary("no client configurations to test");
  size_t up = 0;
  std::string down;
  for (const TRowResult& row : rows) {
    switch (verdictSide(row.verdict)) {
      case TVerdictSide::Up:
        ++up;
        break;
      case TVerdictSide::Down:
        down += (down.empty() ? "" : ", ") + plainName(row.name);
        if (!row.reason.empty()) down += " (" + plainName(row.reason) + ")";
        break;
      case TVerdictSide::Neither:
        return unknownSummary("interrupted before every server was tested");
    }
  }
  const size_t downCount = total - up;
  // Critical as soon as one is down: the range "0" alerts on anything above 0.
  const std::string perf = " | up=" + std::to_string(up) + ";;;0;" + std::to_string(total) +
                           " down=" + std::to_string(downCount) + ";;0;0;" + std::to_string(total);
  if (downCount == 0) {
    return {"QUORVEX OK - " + std::to_string(up) + " of " + std::to_string(total) + " servers up" +
                perf,
            kExitOk};
  }
  return {"QUORVEX CRITICAL - " + std::to_string(downCount) + " of " + std::to_string(total) +
              " servers down: " + down + perf,
          kExitCritical};
}

TOnceSummary unknownSummary(const std::string& message) {
  std::string line = "QUORVEX UNKNOWN - " + message;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return {line, kExitUnknown};
}

TPluginSummary::TPluginSummary(const TSettings& settings) {
  for (int i = 0; i < settings.ServerCount(); ++i) _rows.push_back({settings.Servers(i).Name()});
}

void TPluginSummary::statusChanged(const TStatusChange& change) {
  TRowResult& row = _rows.at(change.row);
  row.verdict = change.verdict;
  row.reason = change.reason.kind == TFailureKind::None ? u"" : oneLine(change.reason.text());
}

}  // namespace quorvex
