// The real openvpn client, which asks for its credentials only on a terminal.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "platform/unique_fd.h"
#include "process/console_app.h"
#include "support/child_support.h"

namespace quorvex {
namespace {

using test::endsWith;
using test::processGone;
using test::quoted;
using test::readUntil;
using test::TempDir;

// A loopback port that refuses connections: bound, never listening, and held
// for the whole test so nobody else takes it.
class ClosedPort {
 public:
  ClosedPort() : _socket(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(_socket.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(_socket.get(), reinterpret_cast<sockaddr*>(&addr), &length) != 0)
      throw std::runtime_error("cannot bind a loopback port");
    _port = ntohs(addr.sin_port);
  }
  int port() const { return _port; }

 private:
  TUniqueFd _socket;
  int _port = 0;
};

// Every process whose command line mentions `text`.
std::vector<pid_t> processesMentioning(const std::string& text) {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const auto name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream file(entry.path() / "cmdline");
    const std::string cmdline((std::istreambuf_iterator<char>(file)), {});
    if (cmdline.find(text) != std::string::npos && processGone(std::stoi(name)) == false)
      found.push_back(std::stoi(name));
  }
  return found;
}

TEST(TConsoleApp, AnswersTheRealOpenvpnPrompts) {
  TempDir dir;
  ClosedPort port;
  const auto ca = dir.path() / "ca.crt";
  const auto key = dir.path() / "ca.key";
  const std::string makeCa =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
      " -nodes -days 1 -subj /CN=quorvex-test -keyout '" +
      key.string() + "' -out '" + ca.string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(makeCa.c_str()), 0);
  const auto config = dir.path() / "client.ovpn";
  std::ofstream(config) << "client\ndev null\nproto tcp-client\nnobind\nauth-user-pass\n"
                        << "remote 127.0.0.1 " << port.port() << "\nca \"" << ca.string()
                        << "\"\nverb 3\n";

  auto app = std::make_unique<TConsoleApp>(
      u"", u"/usr/sbin/openvpn --config " + quoted(config.string()), fromUtf8(dir.path().string()));
  app->run();
  const pid_t pid = app->ProcessId();

  auto text = readUntil(*app, [](auto& t) { return endsWith(t, u"Enter Auth Username:"); });
  ASSERT_TRUE(endsWith(text, u"Enter Auth Username:")) << toUtf8(text);
  ASSERT_TRUE(app->writeInput(u"alice\r\n"));
  text = readUntil(*app, [](auto& t) { return endsWith(t, u"Enter Auth Password:"); });
  ASSERT_TRUE(endsWith(text, u"Enter Auth Password:")) << toUtf8(text);
  EXPECT_EQ(text.find(u"alice"), std::u16string::npos) << "the answer came back as output";
  ASSERT_TRUE(app->writeInput(u"secret\r\n"));
  // With both answers it goes on to the refused connection and retries.
  text = readUntil(*app, [](auto& t) { return t.find(u"127.0.0.1") != std::u16string::npos; });
  EXPECT_NE(text.find(u"127.0.0.1"), std::u16string::npos) << toUtf8(text);
  EXPECT_TRUE(app->isRunning());

  app.reset();
  EXPECT_TRUE(processGone(pid));
  EXPECT_EQ(processesMentioning(config.string()), std::vector<pid_t>{});
}

}  // namespace
}  // namespace quorvex
