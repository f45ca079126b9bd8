#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "monitor/observer.h"
#include "settings/settings.h"

namespace quorvex {

// The headless front end's report: one line per status ("date time<TAB>name
// <TAB>status", and a fourth field saying why a test failed), one per mail
// sent; a mail not sent is one line on the error stream. With verbose, each
// line a child prints follows its server's name.
class TStatusLines final : public IMonitorObserver {
 public:
  TStatusLines(const TSettings& settings, bool verbose, std::ostream& out, std::ostream& err);

  void statusChanged(const TStatusChange& change) override;
  void output(int row, const std::u16string& text) override;
  void deliveryDone(const TDeliveryOutcome& outcome) override;

 private:
  // Writes what is left of a row's output line, ended.
  void endOutputLine(int row);

  std::vector<std::u16string> _names;
  std::vector<std::string> _pending;  // verbose: the start of a line not ended yet
  bool _verbose;
  std::ostream& _out;
  std::ostream& _err;
};

}  // namespace quorvex
