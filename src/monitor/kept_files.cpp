#include "monitor/kept_files.h"

#include <ostream>

#include "monitor/report_text.h"

namespace quorvex {

void TBatchedWrite::changed() {
  if (!_batched) return _write();
  _dirty = true;
  flush(false);
}

void TBatchedWrite::flush(bool force) {
  if (!_dirty) return;
  const auto now = _clock.MonotonicNow();
  if (!force && _written && now - *_written < kBatchInterval) return;
  _dirty = false;
  _written = now;
  _write();
}

TKeptOutages::TKeptOutages(const TSettings& settings, std::u16string fileName, std::ostream& err,
                           const TClock& clock, bool batched)
    : _settings(settings),
      _file(std::move(fileName)),
      _err(err),
      _saves(clock, [this] { save(); }) {
  if (batched) _saves.batch();
}

void TKeptOutages::restoreInto(TOutageBook& outages) {
  std::optional<std::u16string> problem;
  const TOutageStates stored = _file.load(problem);
  if (problem)
    _err << "quorvex: " << localBytes(*problem) << "; starting without earlier outages"
         << std::endl;
  // Servers no longer in the catalogue are dropped.
  for (int i = 0; i < _settings.ServerCount(); ++i) {
    const auto found = stored.find(_settings.Servers(i).OVPNFileBytes());
    if (found == stored.end()) continue;
    _states[found->first] = found->second;
    outages.restore(i, found->second);
  }
  if (problem || _states != stored) save();
}

void TKeptOutages::outageChanged(int row, const TOutageState& state) {
  _states[_settings.Servers(row).OVPNFileBytes()] = state;
  _saves.changed();
}

void TKeptOutages::save() {
  try {
    _file.save(_states);
  } catch (const std::exception& e) {
    if (_saveFailed) return;
    _saveFailed = true;
    _err << "quorvex: " << e.what() << "; outages are not remembered after this run" << std::endl;
  }
}

namespace {

std::vector<std::u16string> serverNames(const TSettings& settings) {
  std::vector<std::u16string> names;
  for (int i = 0; i < settings.ServerCount(); ++i) names.push_back(settings.Servers(i).Name());
  return names;
}

}  // namespace

TKeptMetrics::TKeptMetrics(const TSettings& settings, const std::u16string& fileName,
                           std::ostream& err, const TClock& clock, bool batched)
    : _metrics(serverNames(settings), localBytes(fileName)),
      _err(err),
      _writes(clock, [this] { write(); }) {
  if (batched) _writes.batch();
  for (int i = 0; i < settings.ServerCount(); ++i) _rows.emplace(settings.Servers(i).Name(), i);
  std::vector<std::u16string> notifiers;
  for (const TNotifierConfig& n : settings.Notifiers()) notifiers.push_back(n.name);
  _metrics.setNotifiers(std::move(notifiers));
  write();  // the servers are known before any test ends
}

void TKeptMetrics::historyFigures(const std::vector<TServerFigures>& figures) {
  for (const TServerFigures& f : figures) {
    const auto row = _rows.find(f.server);
    if (row == _rows.end()) continue;  // a server whose configuration is gone
    _metrics.historyChanged(row->second, {f.uptime24h, f.uptime7d, f.uptime30d, f.outages30d,
                                          f.connectMedianS, f.connectP95S});
  }
  _writes.changed();
}

void TKeptMetrics::statusChanged(const TStatusChange& change) {
  const double wallTime = std::chrono::duration<double>(change.wallTime.time_since_epoch()).count();
  _metrics.statusChanged(change.row, change.verdict, wallTime, change.monotonic,
                         change.reason.word());
  _writes.changed();
}

void TKeptMetrics::deliveryDone(const TDeliveryOutcome& outcome) {
  // Counted are the alerts (and reminders) and the notifications that went out.
  if (!outcome.sent || outcome.row < 0) return;
  if (outcome.kind == TDeliveryKind::Alert)
    _metrics.alertSent(outcome.row);
  else if (outcome.kind == TDeliveryKind::Notification && !outcome.notifier.empty())
    _metrics.notificationSent(outcome.row, outcome.notifier);
  else
    return;
  _writes.changed();
}

void TKeptMetrics::write() {
  try {
    _metrics.write();
  } catch (const std::exception& e) {
    if (_writeFailed) return;
    _writeFailed = true;
    _err << "quorvex: " << e.what() << "; metrics are not written" << std::endl;
  }
}

}  // namespace quorvex
