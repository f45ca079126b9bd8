#include "app/report_command.h"

#include <unistd.h>

#include <chrono>
#include <ostream>

#include "history/history_report.h"
#include "history/history_store.h"
#include "history/uptime_figures.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "settings/settings.h"
#include "settings/settings_path.h"

namespace quorvex {

namespace {

int64_t wallMs(const TClock& clock) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock.WallNow().time_since_epoch())
      .count();
}

}  // namespace

int runReport(const TCommandLine& options, std::ostream& out, std::ostream& err) {
  const std::optional<std::u16string> path = historyFilePath(options.historyFile);
  if (!path) {
    err << "quorvex: --report needs a history, not --history none" << std::endl;
    return kExitUnknown;
  }
  const std::string bytes = TEncoding::System().GetBytes(*path);
  if (access(bytes.c_str(), F_OK) != 0) {
    err << "quorvex: no history yet: " << bytes
        << " does not exist (the window and --headless write it; --history FILE names another)"
        << std::endl;
    return kExitUnknown;
  }
  const auto notice = [&err](const std::u16string& text) {
    err << "quorvex: " << TEncoding::System().GetBytes(text) << std::endl;
  };
  try {
    // The retention is the settings file's; a report deletes nothing else.
    TSettings settings(settingsFilePath(options.settingsFile));
    try {
      settings.loadFromFile();
    } catch (const std::exception&) {
      // No settings file: the default retention.
    }
    const int64_t now = wallMs(TClock::System());
    THistoryStore store(
        bytes, notice,
        {.retentionDays = settings.Options().Integer(TOptionId::HistoryRetentionDays),
         .create = false},
        now);
    const auto figures = historyFigures(store, {.nowMs = now});
    out << (options.json ? reportJson(figures) : reportTable(figures)) << std::flush;
    return kExitOk;
  } catch (const std::exception& e) {
    err << "quorvex: cannot read the history " << bytes << ": " << e.what() << std::endl;
    return kExitUnknown;
  }
}

}  // namespace quorvex
