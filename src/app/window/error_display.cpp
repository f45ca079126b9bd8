#include "app/window/error_display.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "app/error_text.h"

namespace quorvex {

QString errorBoxText(const QString& message) {
  return QString::fromStdU16String(errorBoxText(message.toStdU16String()));
}

QString currentErrorMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    // Every error of the system is a std::exception whose what() is UTF-8.
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

namespace {

void showBox(QMessageBox::Icon icon, QWidget* owner, const QString& text) {
  QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace

void showErrorBox(QWidget* owner, const QString& message) {
  showBox(QMessageBox::Critical, owner, errorBoxText(message));
}

void showInformationBox(QWidget* owner, const QString& text) {
  showBox(QMessageBox::Information, owner, text);
}

}  // namespace quorvex
