#include "app/window/window_start_up.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <typeinfo>

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>

#include "app/start_up.h"
#include "app/window/error_display.h"
#include "settings/settings_path.h"

namespace quorvex {

namespace {

bool envSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

QString currentExceptionKind() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (!type) return QStringLiteral("Exception");
  int status = 0;
  char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  QString kind = QString::fromUtf8(status == 0 && name ? name : type->name());
  std::free(name);
  return kind.mid(kind.lastIndexOf(u':') + 1);  // without the namespace
}

void showStartUpErrorBox(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
  box.exec();
}

}  // namespace

bool displayAvailable() {
  return envSet("QT_QPA_PLATFORM") || envSet("DISPLAY") || envSet("WAYLAND_DISPLAY");
}

TWindowStartUp createMainWindow(const std::u16string& settingsPath, TfrmMainServices services,
                                const IRegistry* registry) {
  std::unique_ptr<TSettings> settings;
  TStartUpStep failedStep{};
  TStartUpNotes notes;
  try {
    settings = startUpSettings(settingsPath, registry, &failedStep, &notes);
  } catch (...) {
    if (failedStep == TStartUpStep::FindOpenVPN) {
      showStartUpErrorBox(QStringLiteral("Quorvex"), currentErrorMessage());
      return {nullptr, 1};
    }
    const auto address = reinterpret_cast<quintptr>(&discoverServers);
    showStartUpErrorBox(QStringLiteral("Application Error"),
                        QStringLiteral("Exception %1 in module %2 at %3.\n%4")
                            .arg(currentExceptionKind(),
                                 QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                                 QStringLiteral("%1").arg(address, 16, 16, QChar(u'0')).toUpper(),
                                 currentErrorMessage()));
    return {nullptr, 1};
  }
  auto window = std::make_unique<TfrmMain>(std::move(settings), std::move(services));
  window->showStartUpNotes(notes.lines);
  return {std::move(window), 0};
}

int runWindow(int argc, char** argv, const TCommandLine& options) {
  if (!displayAvailable()) {
    std::fprintf(stderr, "%s\n", kNoDisplayMessage);
    return kExitUnknown;
  }
  QApplication app(argc, argv);
  TfrmMainServices services;
  services.historyFile = historyFilePath(options.historyFile);
  services.statusPage = options.statusPage;
  TWindowStartUp startUp =
      createMainWindow(settingsFilePath(options.settingsFile), std::move(services));
  if (!startUp.window) return startUp.exitCode;
  TfrmMain& window = *startUp.window;
  if (QScreen* screen = window.screen())
    window.move(screen->availableGeometry().center() - window.rect().center());
  window.show();
  return app.exec();
}

}  // namespace quorvex
