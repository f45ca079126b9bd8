#include "monitor/history_observer.h"

#include "monitor/verdict.h"
#include "platform/text_encoding.h"

namespace quorvex {

namespace {

std::vector<std::u16string> serverNames(const TSettings& settings) {
  std::vector<std::u16string> names;
  for (int i = 0; i < settings.ServerCount(); ++i) names.push_back(settings.Servers(i).Name());
  return names;
}

std::unique_ptr<THistoryStore> openStore(const TSettings& settings, const std::u16string& file,
                                         THistoryStore::Notice notice, const TClock& clock) {
  return std::make_unique<THistoryStore>(
      TEncoding::System().GetBytes(file), std::move(notice),
      THistoryStore::TOptions{.retentionDays =
                                  settings.Options().Integer(TOptionId::HistoryRetentionDays)},
      historyTime(clock.WallNow()));
}

}  // namespace

int64_t historyTime(TWallTime time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

THistoryObserver::THistoryObserver(const TSettings& settings, const std::u16string& historyFile,
                                   const std::optional<std::u16string>& statusPage,
                                   THistoryStore::Notice notice, const TClock& clock, bool batched)
    : _recorder(
          serverNames(settings), openStore(settings, historyFile, notice, clock),
          statusPage ? std::optional(TEncoding::System().GetBytes(*statusPage)) : std::nullopt,
          notice, batched) {}

void THistoryObserver::statusChanged(const TStatusChange& change) {
  if (change.verdict == TVerdict::Running) {
    _recorder.started(change.row, historyTime(change.wallTime), change.monotonic);
  } else if (endsTest(change.verdict)) {
    _recorder.ended(change.row, std::u16string(verdictText(change.verdict)), change.reason.text(),
                    historyTime(change.wallTime), change.monotonic);
  }
}

}  // namespace quorvex
