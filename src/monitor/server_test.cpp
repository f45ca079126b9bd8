#include "monitor/server_test.h"

#include <algorithm>

#include "platform/exception.h"
#include "platform/text.h"

namespace quorvex {

namespace {

constexpr char16_t kCrLf[] = u"\r\n";
constexpr char16_t kUsernamePrompt[] = u"username:";
constexpr char16_t kPasswordPrompt[] = u"password:";
constexpr char16_t kConnected[] = u"Initialization Sequence Completed";
constexpr char16_t kTapFailure[] = u"CreateFile failed on TAP device";
// The same failure in openvpn's words on Linux.
constexpr char16_t kTunFailure[] = u"Cannot open TUN/TAP dev";
// systemd's password agent ends its prompts with a blank and, for a password,
// this hint; neither is part of the prompt.
constexpr char16_t kAgentHint[] = u"(press TAB for no echo)";
// Enough of the output's end for any prompt and a marker cut in two.
constexpr size_t kTailLength = 4096;
// A child seen ended may still have output on its way through the terminal.
constexpr int kLastReadTimeoutMs = 100;
// openvpn prints its password prompt and only then turns echo off with a flush
// of the input, which would discard an answer sent in between: the answer
// waits for that flush, and for a child that never flushes, this long at most.
constexpr auto kPasswordFlushWait = std::chrono::seconds(1);

std::u16string_view withoutTrailingBlanks(std::u16string_view text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// True when the output ends in the prompt: trailing blanks and the password
// agent's hint do not count, anything else after it does.
bool endsWithPrompt(const std::u16string& output, std::u16string_view prompt) {
  std::u16string_view text = withoutTrailingBlanks(output);
  if (EndsWithNoCase(text, kAgentHint))
    text =
        withoutTrailingBlanks(text.substr(0, text.size() - std::u16string_view(kAgentHint).size()));
  return EndsWithNoCase(text, prompt);
}

bool contains(const std::u16string& text, std::u16string_view part) {
  return text.find(part) != std::u16string::npos;
}

// A start error in words, never empty.
std::u16string startErrorText(const std::exception& e) {
  const std::u16string message = dynamic_cast<const Exception*>(&e)
                                     ? static_cast<const Exception&>(e).Message()
                                     : fromUtf8(e.what());
  return message.empty() ? u"unknown error" : message;
}

}  // namespace

TServerTest::TServerTest(const TSettings& settings, int index, const IMonitorControls& controls,
                         const TClock& clock, OutputSink output)
    : _settings(settings),
      _index(index),
      _controls(controls),
      _clock(clock),
      _output(std::move(output)) {}

TServerTest::~TServerTest() = default;

std::optional<TFailureReason> TServerTest::start(const TProcessFactory& processes, bool confirmed) {
  try {
    _startTime = _clock.MonotonicNow();
    const TVPNServer& server = _settings.Servers(_index);
    if (!server.ReadError().empty()) return notStarted(server.ReadError());
    // The test only has to learn whether the server accepts the connection:
    // no device is opened and no address or route applied, so it needs no
    // root and never reroutes the machine. A full tunnel test, asked for,
    // runs the configuration as written.
    static const char* const kNoDevice[] = {"--dev", "null", "--ifconfig-noexec", "--route-noexec"};
    TChildCommand command{{"openvpn", "--config", server.OVPNFileBytes()},
                          _settings.ConfigDirBytes(),
                          u"",
                          u"openvpn --config \"" + server.OVPNFilename() + u"\""};
    if (!_settings.Options().Boolean(TOptionId::FullTunnel)) {
      for (const char* arg : kNoDevice) {
        command.args.emplace_back(arg);
        command.cmdLine += u' ' + fromUtf8(arg);
      }
    }
    _ovpn = processes(command);
    _launchFailure = u"Failed to start " + command.exeName + u" " + command.cmdLine;
    if (confirmed) {
      _ovpn->run();
    } else {
      _ovpn->launch();
    }
    return std::nullopt;
  } catch (const std::exception& e) {
    _ovpn.reset();
    return notStarted(startErrorText(e));
  } catch (...) {
    _ovpn.reset();
    return notStarted(u"unknown error");
  }
}

void TServerTest::append(const std::u16string& text) {
  if (text.empty()) return;
  std::u16string seen = std::move(_tail) + text;
  _connected = _connected || contains(seen, kConnected);
  _deviceRefused = _deviceRefused || contains(seen, kTapFailure) || contains(seen, kTunFailure);
  _failureSigns.see(seen);
  if (seen.size() > kTailLength) seen.erase(0, seen.size() - kTailLength);
  _tail = std::move(seen);
  if (_output) _output(text);
}

bool TServerTest::passwordMaySend(std::optional<unsigned long> flushesBeforeRead) {
  const std::optional<unsigned long> flushes = _ovpn->inputFlushes();
  if (!flushes || !flushesBeforeRead) return true;  // cannot tell: no reason to wait
  const auto now = _clock.MonotonicNow();
  // The flush may be reported in the same read as the prompt's end, or before it.
  if (!_passwordWait) _passwordWait = TPasswordWait{*flushesBeforeRead, now + kPasswordFlushWait};
  return *flushes > _passwordWait->flushesBefore || now >= _passwordWait->sendAnywayAt;
}

std::optional<TTestOutcome> TServerTest::step(int readTimeoutMs) {
  const std::optional<unsigned long> flushesBeforeRead = _ovpn->inputFlushes();
  append(_ovpn->readOutput(readTimeoutMs));

  if (!_ovpn->isRunning()) {
    if (_ovpn->startFailed())
      return TTestOutcome{TVerdict::FailedToStart, notStarted(_launchFailure)};
    // A short read may not yet hold what the child printed last.
    if (readTimeoutMs < kLastReadTimeoutMs) append(_ovpn->readOutput(kLastReadTimeoutMs));
    if (_deviceRefused) return TTestOutcome{TVerdict::Successful};
    return TTestOutcome{TVerdict::Failed, _failureSigns.judge(true)};
  }
  if (endsWithPrompt(_tail, kUsernamePrompt)) {
    const std::u16string login = _controls.loginText();
    _ovpn->writeInput(login + kCrLf);
    append(login + kCrLf);
  } else if (endsWithPrompt(_tail, kPasswordPrompt)) {
    if (passwordMaySend(flushesBeforeRead)) {
      _passwordWait.reset();
      _ovpn->writeInput(_controls.passwordText() + kCrLf);
      append(kCrLf);
    }
  } else if (_connected) {
    return TTestOutcome{TVerdict::Successful};
  } else if (std::chrono::duration<double>(_clock.MonotonicNow() - _startTime).count() >
             _settings.ConnectionTimeout()) {
    return TTestOutcome{TVerdict::Failed, _failureSigns.judge(false)};
  }
  return std::nullopt;
}

std::vector<int> TServerTest::waitHandles() const {
  return _ovpn ? _ovpn->waitHandles() : std::vector<int>{};
}

TClock::TimePoint TServerTest::deadline() const {
  return _startTime + std::chrono::seconds(_settings.ConnectionTimeout());
}

TClock::TimePoint TServerTest::wakeAt() const {
  return _passwordWait ? std::min(deadline(), _passwordWait->sendAnywayAt) : deadline();
}

std::unique_ptr<IConsoleProcess> TServerTest::takeChild() { return std::move(_ovpn); }

}  // namespace quorvex
