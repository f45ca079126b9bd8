#include "monitor/status_lines.h"

#include <ostream>

#include "monitor/report_text.h"

namespace quorvex {

namespace {

// A verbose line longer than this is written in pieces.
constexpr size_t kMaxVerboseLine = 4096;

}  // namespace

TStatusLines::TStatusLines(const TSettings& settings, bool verbose, std::ostream& out,
                           std::ostream& err)
    : _verbose(verbose), _out(out), _err(err) {
  for (int i = 0; i < settings.ServerCount(); ++i) _names.push_back(settings.Servers(i).Name());
  _pending.resize(_names.size());
}

void TStatusLines::output(int row, const std::u16string& text) {
  if (!_verbose) return;
  std::string& pending = _pending.at(row);
  const std::string name = localBytes(_names.at(row));
  pending += localBytes(text);
  size_t start = 0;
  for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
    _out << name << ": " << pending.substr(start, end + 1 - start);
  pending.erase(0, start);
  if (pending.size() > kMaxVerboseLine) endOutputLine(row);
  _out.flush();
}

void TStatusLines::endOutputLine(int row) {
  std::string& pending = _pending.at(row);
  if (pending.empty()) return;
  _out << localBytes(_names.at(row)) << ": " << pending << '\n';
  pending.clear();
}

void TStatusLines::statusChanged(const TStatusChange& change) {
  // A line the child left open is ended when its test ends.
  if (endsTest(change.verdict)) endOutputLine(change.row);
  _out << timestamp(change.localTime) << '\t' << shownName(_names.at(change.row)) << '\t'
       << localBytes(std::u16string(verdictText(change.verdict)));
  // A failure says why in a fourth field.
  if (change.reason.kind != TFailureKind::None)
    _out << '\t' << localBytes(oneLine(change.reason.text()));
  _out << std::endl;
}

void TStatusLines::deliveryDone(const TDeliveryOutcome& outcome) {
  if (outcome.sent) {
    _out << timestamp(outcome.localTime) << '\t' << plainName(outcome.what) << " sent" << std::endl;
  } else {
    _err << "quorvex: " << plainName(outcome.what) << " not sent: " << localBytes(outcome.error)
         << std::endl;
  }
}

}  // namespace quorvex
