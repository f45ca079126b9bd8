#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include "app/window/main_window.h"

namespace quorvex::test {

// A message box that was shown, as the user saw it.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers modal message boxes with OK so that no test hangs on one. A box is
// closed once closeWhen() holds (default: at once) or after a bound of 10 s,
// which counts as a test failure.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer();
  std::vector<SeenBox> boxes;
  std::function<bool()> closeWhen = [] { return true; };
  bool overdue = false;  // a box was still open after the bound
  QMessageBox* openBox() const;

 private:
  void poll();
  QTimer _poll;
  QMessageBox* _current = nullptr;
  qint64 _openedAtMs = 0;
};

// Waits for pred while events run; bounded so a broken window fails, not hangs.
bool waitFor(const std::function<bool()>& pred, int timeoutMs = 10000);

// A configuration folder (QUORVEX_CONFIG_DIR while the object lives) with
// client configurations, and a settings file path inside a temporary folder.
class TestMachine {
 public:
  explicit TestMachine(const std::vector<std::string>& servers);
  ~TestMachine();
  QString configDir() const { return _dir.filePath(QStringLiteral("config")); }
  std::u16string settingsPath() const;
  void writeSettings(const std::string& xml) const;

 private:
  QTemporaryDir _dir;
};

QString rowText(TfrmMain& window, const QString& server, int column);
// Foreground of a cell; an invalid colour is the list's normal colour.
QColor rowColour(TfrmMain& window, const QString& server, int column);

template <class Control>
Control* control(QWidget& window, const char* name) {
  return window.findChild<Control*>(QString::fromLatin1(name));
}

}  // namespace quorvex::test
