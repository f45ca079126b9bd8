#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "monitor/monitor_controls.h"
#include "monitor/observer.h"
#include "monitor/report_text.h"
#include "monitor/server_test.h"
#include "process/console_process.h"

namespace quorvex::test {

// What a scripted child prints and when it ends.
struct TChildScript {
  std::vector<std::u16string> reads{};    // the text of each readOutput call, then nothing
  std::vector<std::u16string> replies{};  // each input queues the next one after the reads
  int endsAfterReads = -1;                // isRunning turns false after this many reads; -1 never
  bool createThrows = false;
  bool runThrows = false;
  std::function<void(int readCount)> onRead{};  // called after each read
  // Asked at each read; true makes it fail as a broken terminal does.
  std::function<bool(int readCount)> readFails{};
};

// What happened to one child, kept after the cycle released it.
struct TChildLog {
  std::u16string exeName, cmdLine;
  std::vector<std::string> args;
  std::string currDir;
  bool ran = false;
  bool released = false;
  int readCount = 0;
  std::vector<int> readTimeouts;
  std::vector<std::u16string> writes;

  std::u16string input() const {
    std::u16string all;
    for (const std::u16string& w : writes) all += w;
    return all;
  }
};

// How many children exist at once, and the most there ever were.
struct TLiveChildren {
  int now = 0;
  int peak = 0;
};

class TFakeChild final : public IConsoleProcess {
 public:
  TFakeChild(TChildScript script, std::shared_ptr<TChildLog> log,
             std::shared_ptr<TLiveChildren> live = std::make_shared<TLiveChildren>())
      : _script(std::move(script)),
        _output(_script.reads.begin(), _script.reads.end()),
        _replies(_script.replies.begin(), _script.replies.end()),
        _log(std::move(log)),
        _live(std::move(live)) {
    _live->peak = std::max(_live->peak, ++_live->now);
  }
  ~TFakeChild() override {
    _log->released = true;
    --_live->now;
  }
  void run() override {
    if (_script.runThrows) throw std::runtime_error("Failed to start openvpn");
    _log->ran = true;
  }
  std::u16string readOutput(int timeoutMs) override {
    _log->readTimeouts.push_back(timeoutMs);
    ++_log->readCount;
    if (_script.onRead) _script.onRead(_log->readCount);
    if (_script.readFails && _script.readFails(_log->readCount))
      throw std::runtime_error("Read error on the terminal");
    if (_output.empty()) return {};
    std::u16string chunk = std::move(_output.front());
    _output.pop_front();
    return chunk;
  }
  bool writeInput(const std::u16string& text) override {
    _log->writes.push_back(text);
    if (!_replies.empty()) {
      _output.push_back(std::move(_replies.front()));
      _replies.pop_front();
    }
    return true;
  }
  bool isRunning() override {
    if (_stopped) return false;
    return _script.endsAfterReads < 0 || _log->readCount < _script.endsAfterReads;
  }
  // Ends when asked, as openvpn does on SIGTERM.
  void requestStop() override { _stopped = true; }

 private:
  TChildScript _script;
  std::deque<std::u16string> _output;  // still to be read
  std::deque<std::u16string> _replies;
  std::shared_ptr<TChildLog> _log;
  std::shared_ptr<TLiveChildren> _live;
  bool _stopped = false;
};

// Children by configuration file name; a server without a script gets the
// `unscripted` one, by default a child that prints nothing and never ends.
class TFakeChildren {
 public:
  std::map<std::u16string, TChildScript> scripts{};
  TChildScript unscripted{};
  std::vector<std::shared_ptr<TChildLog>> started{};  // in order of creation attempts
  std::shared_ptr<TLiveChildren> live = std::make_shared<TLiveChildren>();

  TProcessFactory factory() {
    return [this](const TChildCommand& command) -> std::unique_ptr<IConsoleProcess> {
      auto log = std::make_shared<TChildLog>();
      log->exeName = command.exeName;
      log->cmdLine = command.cmdLine;
      log->args = command.args;
      log->currDir = command.currDir;
      started.push_back(log);
      TChildScript script = unscripted;
      for (const auto& [file, s] : scripts) {
        if (command.cmdLine.find(file) != std::u16string::npos) script = s;
      }
      if (script.createThrows) throw std::runtime_error("no pty");
      return std::make_unique<TFakeChild>(script, log, live);
    };
  }
  const TChildLog& last() const { return *started.back(); }
  // The latest child started for a configuration file; an empty log before
  // the first.
  TChildLog of(const std::u16string& file) const {
    for (auto it = started.rbegin(); it != started.rend(); ++it) {
      if ((*it)->cmdLine.find(file) != std::u16string::npos) return **it;
    }
    return {};
  }
};

// The children tests need most often.
inline TChildScript connectingChild() {  // prints the success line, keeps running
  return {.reads = {u"Peer Connection Initiated\r\n", u"Initialization Sequence Completed\r\n"}};
}
inline TChildScript exitingChild() {  // prints an error and ends
  return {.reads = {u"Options error: cannot read the certificate\r\n"}, .endsAfterReads = 1};
}
inline TChildScript silentChild() { return {}; }  // keeps running, prints nothing

struct TViewRow {
  std::u16string status = u"Not Run";
  std::u16string lastRun;
  std::vector<std::u16string> history;  // every status set, in order
  TFailureReason reason;                // of the last status
};

// The controls and the rows of a window, as plain state. The rows show the
// status words and Last Run as the window does.
class TFakeView final : public IMonitorControls, public IMonitorObserver {
 public:
  explicit TFakeView(int rows) : rows(static_cast<size_t>(rows)) {}

  std::u16string login = u"alice";
  std::u16string password = u"s3cret";
  std::u16string output;
  std::vector<TViewRow> rows;
  bool repeat = false;
  bool inputsEnabled = true;
  bool stopEnabled = false;
  bool timerEnabled = false;
  int outputClears = 0;

  std::u16string loginText() const override { return login; }
  std::u16string passwordText() const override { return password; }
  void setOutputText(const std::u16string& text) override {
    output = text;
    ++outputClears;
  }
  void appendOutput(const std::u16string& text) override { output += text; }
  void statusChanged(const TStatusChange& change) override {
    TViewRow& row = rows.at(static_cast<size_t>(change.row));
    row.status = verdictText(change.verdict);
    row.reason = change.reason;
    row.history.push_back(row.status);
    const bool result =
        change.verdict != TVerdict::Running && change.verdict != TVerdict::Interrupted;
    row.lastRun = result ? formatLastRun(change.localTime) : u"";
  }
  bool repeatChecked() const override { return repeat; }
  void setInputsEnabled(bool enabled) override { inputsEnabled = enabled; }
  void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
  void setTimerEnabled(bool enabled) override { timerEnabled = enabled; }
};

}  // namespace quorvex::test
