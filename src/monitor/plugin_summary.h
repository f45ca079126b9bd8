#pragma once

#include <string>
#include <vector>

#include "monitor/observer.h"
#include "settings/settings.h"

namespace quorvex {

// Exit codes of the monitoring-plugin conventions.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCritical = 2;
inline constexpr int kExitUnknown = 3;

// The first line of a single run and its exit code, following the
// monitoring-plugin conventions: the status lines follow it as the long output.
struct TOnceSummary {
  std::string line;
  int exitCode;
};

// A row's last status and, for a failure, why.
struct TRowResult {
  std::u16string name;
  TVerdict verdict = TVerdict::NotRun;
  std::u16string reason{};  // in words, on one line; empty where none
};

TOnceSummary summarizeOnce(const std::vector<TRowResult>& rows);
TOnceSummary unknownSummary(const std::string& message);

// Keeps each row's last status for the summary of a single run.
class TPluginSummary final : public IMonitorObserver {
 public:
  explicit TPluginSummary(const TSettings& settings);
  void statusChanged(const TStatusChange& change) override;
  TOnceSummary summary() const { return summarizeOnce(_rows); }
  const std::vector<TRowResult>& rows() const { return _rows; }

 private:
  std::vector<TRowResult> _rows;
};

}  // namespace quorvex
