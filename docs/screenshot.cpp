// Draws the window with a finished run into a PNG for the README:
//   screenshot OUTPUT.png
// Run on the offscreen platform. The children are scripted stand-ins for
// openvpn, so the picture is the same on every machine; no mail is sent.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "app/window/window_start_up.h"
#include "platform/text.h"

namespace {

using namespace quorvex;

// Prints a few openvpn-like lines, then the success marker, or ends
// without it after a while (a server that does not answer).
class TStandIn final : public IConsoleProcess {
 public:
  explicit TStandIn(bool up) : _up(up) {}
  void run() override {}
  std::u16string readOutput(int) override {
    ++_reads;
    if (_reads == 1) return u"OpenVPN 2.6 x86_64-pc-linux-gnu\r\nTCP/UDP: Preserving socket\r\n";
    if (_up && _reads == 2)
      return u"Peer Connection Initiated\r\nInitialization Sequence Completed\r\n";
    if (!_up && _reads == 2)
      return u"TLS Error: TLS key negotiation failed to occur within 60 seconds\r\n";
    return u"";
  }
  bool writeInput(const std::u16string&) override { return true; }
  bool isRunning() override { return _up || _reads < 3; }

 private:
  bool _up;
  int _reads = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: screenshot OUTPUT.png\n";
    return 2;
  }
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const std::filesystem::path config = dir.filePath(QStringLiteral("config")).toStdString();
  std::filesystem::create_directory(config);
  for (const char* name : {"amsterdam", "frankfurt", "london", "new-york", "singapore"})
    std::ofstream(config / (std::string(name) + ".ovpn")) << "client\n";
  setenv("QUORVEX_CONFIG_DIR", config.c_str(), 1);
  const std::string settings = dir.filePath(QStringLiteral("settings.xml")).toStdString();
  std::ofstream(settings) << "<settings><username>alice</username><password>secret</password>"
                             "<repeat_period>5</repeat_period><conn_timeout>90</conn_timeout>"
                             "</settings>";

  TfrmMainServices services;
  services.processFactory = [](const TChildCommand& command) -> std::unique_ptr<IConsoleProcess> {
    const bool down = command.cmdLine.find(u"frankfurt") != std::u16string::npos ||
                      command.cmdLine.find(u"singapore") != std::u16string::npos;
    return std::make_unique<TStandIn>(!down);
  };
  services.sendMail = [](const TAlertMailFields&, bool, const std::u16string&,
                         const std::u16string&) {};
  auto window = createMainWindow(fromUtf8(settings), std::move(services)).window;
  if (!window) return 1;
  window->show();
  window->findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
  // Bounded: the stand-ins finish within a few ticks each.
  QElapsedTimer clock;
  clock.start();
  auto* start = window->findChild<QPushButton*>(QStringLiteral("btnStart"));
  while (!start->isEnabled() && clock.elapsed() < 30000)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  if (!start->isEnabled()) {
    std::cerr << "screenshot: the run did not end\n";
    return 1;
  }
  window->findChild<QTreeWidget*>(QStringLiteral("lvServers"))->clearSelection();
  if (!window->grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::cerr << "screenshot: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
