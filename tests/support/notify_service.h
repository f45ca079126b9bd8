#pragma once

// A service that takes notifications (tests/alerts/notify_peer.py) over HTTPS
// with the test CA's certificate for "localhost", or plain HTTP on
// 127.0.0.1, and what it was sent.

#include <map>
#include <string>
#include <vector>

#include "support/python_peer.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"
#include "web/json.h"

namespace quorvex::test {

using TRequest = std::map<std::string, std::string>;

struct TNotifyService {
  explicit TNotifyService(bool tls = true)
      : Log(Folder / "requests.jsonl"),
        Peer(QUORVEX_SOURCE_DIR "/tests/alerts/notify_peer.py",
             tls ? std::vector<std::string>{Log, TlsCaFiles().CertFile, TlsCaFiles().KeyFile}
                 : std::vector<std::string>{Log}),
        Tls(tls) {}

  std::string Url(const std::string& path) const {
    return (Tls ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(Peer.Port()) + path;
  }
  std::string Host() const {
    return (Tls ? "localhost:" : "127.0.0.1:") + std::to_string(Peer.Port());
  }

  std::vector<TRequest> Requests() const {
    std::vector<TRequest> requests;
    const std::string text = readFile(Log);
    for (size_t start = 0; start < text.size();) {
      const size_t end = text.find('\n', start);
      requests.push_back(parseJsonObject(text.substr(start, end - start)));
      start = end == std::string::npos ? text.size() : end + 1;
    }
    return requests;
  }

  TempFolder Folder{"notify"};
  std::string Log;
  TPythonPeer Peer;
  bool Tls;
};

}  // namespace quorvex::test
