#include "window_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace quorvex::test {

namespace {

// One application object for the whole program, on the offscreen platform
// unless the caller chose another.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    _app = std::make_unique<QApplication>(_argc, _argv);
  }
  void TearDown() override { _app.reset(); }

 private:
  int _argc = 1;
  char _arg0[12] = "test_window";
  char* _argv[2] = {_arg0, nullptr};
  std::unique_ptr<QApplication> _app;
};

[[maybe_unused]] const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr qint64 kBoxBoundMs = 10000;

}  // namespace

BoxAnswerer::BoxAnswerer() {
  _poll.setInterval(20);
  connect(&_poll, &QTimer::timeout, this, &BoxAnswerer::poll);
  _poll.start();
}

QMessageBox* BoxAnswerer::openBox() const {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  }
  return nullptr;
}

void BoxAnswerer::poll() {
  QMessageBox* box = openBox();
  if (!box) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (box != _current) {
    _current = box;
    _openedAtMs = now;
    boxes.push_back({box->windowTitle(), box->text(), box->icon()});
  }
  const bool pastBound = now - _openedAtMs > kBoxBoundMs;
  if (pastBound) overdue = true;
  if (pastBound || closeWhen()) {
    _current = nullptr;
    box->done(QMessageBox::Ok);
  }
}

bool waitFor(const std::function<bool()>& pred, int timeoutMs) {
  return QTest::qWaitFor(pred, timeoutMs);
}

TestMachine::TestMachine(const std::vector<std::string>& servers) {
  QDir(_dir.path()).mkdir(QStringLiteral("config"));
  for (const std::string& name : servers) {
    std::ofstream(configDir().toStdString() + "/" + name + ".ovpn")
        << "client\nremote 127.0.0.1 1194\n";
  }
  setenv("QUORVEX_CONFIG_DIR", configDir().toLocal8Bit().constData(), 1);
}

TestMachine::~TestMachine() { unsetenv("QUORVEX_CONFIG_DIR"); }

std::u16string TestMachine::settingsPath() const {
  return _dir.filePath(QStringLiteral("settings.xml")).toStdU16String();
}

void TestMachine::writeSettings(const std::string& xml) const {
  std::ofstream(QString::fromStdU16String(settingsPath()).toStdString()) << xml;
}

namespace {

QTreeWidgetItem* row(TfrmMain& window, const QString& server) {
  auto* list = control<QTreeWidget>(window, "lvServers");
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    if (list->topLevelItem(i)->text(0) == server) return list->topLevelItem(i);
  }
  ADD_FAILURE() << "no row for " << server.toStdString();
  return nullptr;
}

}  // namespace

QString rowText(TfrmMain& window, const QString& server, int column) {
  QTreeWidgetItem* item = row(window, server);
  return item ? item->text(column) : QString();
}

QColor rowColour(TfrmMain& window, const QString& server, int column) {
  QTreeWidgetItem* item = row(window, server);
  if (!item) return {};
  const QVariant v = item->data(column, Qt::ForegroundRole);
  return v.isValid() ? v.value<QBrush>().color() : QColor();
}

}  // namespace quorvex::test
