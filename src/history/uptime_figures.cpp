#include "history/uptime_figures.h"

#include <algorithm>
#include <map>

#include "history/history_store.h"
#include "platform/text.h"

namespace quorvex {

namespace {

int64_t ceilDiv(int64_t value, int64_t unit) {
  return value >= 0 ? (value + unit - 1) / unit : -(-value / unit);
}
int64_t floorDiv(int64_t value, int64_t unit) { return -ceilDiv(-value, unit); }

struct TPeriod {
  int64_t lengthMs;
  std::optional<double> TServerFigures::*field;
};
constexpr TPeriod kPeriods[] = {{kDayMs, &TServerFigures::uptime24h},
                                {7 * kDayMs, &TServerFigures::uptime7d},
                                {30 * kDayMs, &TServerFigures::uptime30d}};

std::optional<double> percent(const THistoryCell& cell) {
  const int64_t total = cell.up + cell.down;
  if (total == 0) return std::nullopt;
  return 100.0 * static_cast<double>(cell.up) / static_cast<double>(total);
}

}  // namespace

std::optional<double> medianSeconds(std::vector<int64_t> values) {
  if (values.empty()) return std::nullopt;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double middle = n % 2 ? static_cast<double>(values[n / 2])
                              : (static_cast<double>(values[n / 2 - 1]) + values[n / 2]) / 2.0;
  return middle / 1000.0;
}

std::optional<double> nearestRankSeconds(std::vector<int64_t> values, int percent) {
  if (values.empty()) return std::nullopt;
  // The smallest value with at least `percent` of them at or below it.
  const size_t rank =
      static_cast<size_t>(ceilDiv(static_cast<int64_t>(values.size()) * percent, 100));
  const size_t index = std::max<size_t>(rank, 1) - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                   values.end());
  return static_cast<double>(values[index]) / 1000.0;
}

std::vector<TServerFigures> historyFigures(THistoryStore& store, const TFiguresRequest& request) {
  const int64_t now = request.nowMs;
  std::map<int64_t, TServerFigures> byId;
  for (const THistoryServer& row : store.servers()) {
    if (row.lastStatus.empty() || row.lastTimeMs < now - kStripDays * kDayMs) continue;
    TServerFigures& figures = byId[row.id];
    figures.server = row.name;
    figures.lastStatus = row.lastStatus;
    figures.lastReason = row.lastReason;
    figures.lastTimeMs = row.lastTimeMs;
    figures.hours.resize(kStripHours);
    if (request.days) figures.days.resize(kStripDays);
  }
  const auto known = [&byId](int64_t id) -> TServerFigures* {
    const auto found = byId.find(id);
    return found == byId.end() ? nullptr : &found->second;
  };

  // Whole hours come from the buckets; the part of an hour at a period's
  // start from the results themselves.
  std::map<int64_t, THistoryCell> counts[std::size(kPeriods)];
  const int64_t nowHour = floorDiv(now, kHourMs);
  int64_t firstHours[std::size(kPeriods)];
  for (size_t p = 0; p < std::size(kPeriods); ++p)
    firstHours[p] = ceilDiv(now - kPeriods[p].lengthMs, kHourMs);
  for (const THistoryBucket& bucket : store.hours(firstHours[std::size(kPeriods) - 1])) {
    for (size_t p = 0; p < std::size(kPeriods); ++p) {
      if (bucket.index < firstHours[p]) continue;
      THistoryCell& cell = counts[p][bucket.server];
      cell.up += bucket.up;
      cell.down += bucket.down;
    }
    const int64_t slot = bucket.index - (nowHour - kStripHours + 1);
    if (TServerFigures* figures = known(bucket.server); figures && slot >= 0 && slot < kStripHours)
      figures->hours[static_cast<size_t>(slot)] = {bucket.up, bucket.down};
  }
  for (size_t p = 0; p < std::size(kPeriods); ++p) {
    const int64_t from = now - kPeriods[p].lengthMs;
    for (const THistoryPoint& point : store.sides(from, firstHours[p] * kHourMs)) {
      THistoryCell& cell = counts[p][point.server];
      (point.value ? cell.up : cell.down) += 1;
    }
    for (const auto& [id, cell] : counts[p])
      if (TServerFigures* figures = known(id)) figures->*kPeriods[p].field = percent(cell);
  }

  std::map<int64_t, std::vector<int64_t>> connectTimes;
  for (const THistoryPoint& point : store.connectTimes(now - kDayMs))
    connectTimes[point.server].push_back(point.value);
  for (auto& [id, values] : connectTimes) {
    if (TServerFigures* figures = known(id)) {
      figures->connectP95S = nearestRankSeconds(values, 95);
      figures->connectMedianS = medianSeconds(std::move(values));
    }
  }

  for (const THistoryOutage& outage : store.outages(now - 30 * kDayMs)) {
    TServerFigures* figures = known(outage.server);
    if (!figures) continue;
    figures->outages30d += 1;
    figures->longestOutageMs =
        std::max(figures->longestOutageMs, outage.endedMs.value_or(now) - outage.startedMs);
    if (!outage.endedMs) figures->down = true;
  }

  if (request.days) {
    const int64_t firstDay = floorDiv(now, kDayMs) - kStripDays + 1;
    for (const THistoryBucket& bucket : store.days(firstDay))
      if (TServerFigures* figures = known(bucket.server);
          figures && bucket.index - firstDay < kStripDays)
        figures->days[static_cast<size_t>(bucket.index - firstDay)] = {bucket.up, bucket.down};
  }

  std::vector<TServerFigures> result;
  for (auto& [id, figures] : byId) result.push_back(std::move(figures));
  std::stable_sort(result.begin(), result.end(),
                   [](const auto& a, const auto& b) { return LessNoCase(a.server, b.server); });
  return result;
}

}  // namespace quorvex
