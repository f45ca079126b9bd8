#pragma once

// A scripted SMTP server on 127.0.0.1 for exact wire dialogues and faults. It
// accepts one connection and plays a script, one step per text:
//   "S:text"  send text + CR LF
//   "C:text"  read one line (without CR LF) and expect exactly text;
//             "C:*" accepts any line. Every client line must end in CR LF.
//   "M:"      read the message after DATA: every line up to the lone "."
//             (which is consumed too); the lines are kept in Messages()
//   "X:"      close the connection at once
// After the last step (unless it was "X:") the peer waits for the client to
// close; anything the client sends meanwhile is a failure. Every wait is
// bounded by AStepTimeoutMs. Finish() returns the first failure or "", and
// an unused step is a failure. APort 0 lets the system pick a free port.

#include <poll.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "support/loopback.h"

namespace quorvex::test {

class TScriptedSMTPPeer {
 public:
  explicit TScriptedSMTPPeer(std::vector<std::string> AScript, int AStepTimeoutMs = 5000,
                             std::uint16_t APort = 0)
      : _script(std::move(AScript)), _timeout(AStepTimeoutMs) {
    _listener = LoopbackSocket(AF_INET, 4, APort, true);
    _port = LocalPort(_listener.get());
    _thread = std::thread([this] { Run(); });
  }
  ~TScriptedSMTPPeer() { Finish(); }
  TScriptedSMTPPeer(const TScriptedSMTPPeer&) = delete;
  TScriptedSMTPPeer& operator=(const TScriptedSMTPPeer&) = delete;

  std::uint16_t Port() const { return _port; }

  // Waits for the script to end (bounded by the step time-outs) and returns
  // the first failure, or "" when every step was played as written.
  std::string Finish() {
    if (_thread.joinable()) _thread.join();
    return _failure;
  }
  // The message blocks read by "M:" steps, valid after Finish().
  const std::vector<std::vector<std::string>>& Messages() const { return _messages; }

 private:
  void Run() {
    pollfd pfd{_listener.get(), POLLIN, 0};
    if (::poll(&pfd, 1, _timeout) != 1) return Fail("no client connected");
    _fd = TUniqueFd(::accept4(_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!_fd.valid()) return Fail("accept failed");
    size_t step = 0;
    for (; step < _script.size() && _failure.empty(); ++step) {
      const std::string& s = _script[step];
      const std::string tag = s.substr(0, 2);
      const std::string text = s.size() > 2 ? s.substr(2) : std::string();
      const std::string where = "step " + std::to_string(step + 1) + " (" + s + "): ";
      std::string line;
      if (tag == "S:") {
        const std::string out = text + "\r\n";
        if (::send(_fd.get(), out.data(), out.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(out.size()))
          Fail(where + "send failed");
      } else if (tag == "C:") {
        if (!ReadLine(line))
          Fail(where + "client sent nothing more");
        else if (text != "*" && line != text)
          Fail(where + "client sent \"" + line + "\"");
      } else if (tag == "M:") {
        std::vector<std::string> block;
        while (true) {
          if (!ReadLine(line)) {
            Fail(where + "message ended without \".\"");
            break;
          }
          if (line == ".") break;
          block.push_back(line);
        }
        _messages.push_back(std::move(block));
      } else if (tag == "X:") {
        _fd.reset();
        ++step;
        break;
      } else {
        Fail(where + "unknown step");
      }
    }
    if (_failure.empty() && step < _script.size())
      Fail("script not used up at step " + std::to_string(step + 1));
    if (_fd.valid()) {
      // The client should have nothing more to say; wait for its close.
      std::string extra;
      if (_failure.empty() && ReadLine(extra)) Fail("client sent more: \"" + extra + "\"");
      _fd.reset();
    }
  }

  // One line without CR LF; false at the client's close or a time-out. A
  // line ended by a bare LF, or cut off by the close, is a failure: a server
  // may refuse either.
  bool ReadLine(std::string& VLine) {
    while (true) {
      const size_t lf = _buffer.find('\n');
      if (lf != std::string::npos) {
        VLine = _buffer.substr(0, lf);
        if (VLine.empty() || VLine.back() != '\r')
          Fail("client line without CR LF: \"" + VLine + "\"");
        else
          VLine.pop_back();
        _buffer.erase(0, lf + 1);
        return true;
      }
      pollfd pfd{_fd.get(), POLLIN, 0};
      if (::poll(&pfd, 1, _timeout) != 1) return false;
      char chunk[4096];
      const ssize_t n = ::recv(_fd.get(), chunk, sizeof chunk, 0);
      if (n <= 0) {
        if (_buffer.empty()) return false;
        Fail("client line without CR LF: \"" + _buffer + "\"");
        VLine.swap(_buffer);
        _buffer.clear();
        return true;
      }
      _buffer.append(chunk, static_cast<size_t>(n));
    }
  }

  void Fail(const std::string& AWhat) {
    if (_failure.empty()) _failure = AWhat;
  }

  std::vector<std::string> _script;
  int _timeout;
  TUniqueFd _listener;
  TUniqueFd _fd;
  std::uint16_t _port = 0;
  std::string _buffer;
  std::string _failure;
  std::vector<std::vector<std::string>> _messages;
  std::thread _thread;  // last: starts once the rest is built
};

}  // namespace quorvex::test
