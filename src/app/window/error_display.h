#pragma once

#include <exception>

#include <QString>

class QWidget;

namespace quorvex {

// The message as the error box shows it: one "." is added when the last
// character sorts above ".", so "failed" gets one and "done." or "(x)" not.
QString errorBoxText(const QString& message);

// The message of the exception being handled; call only inside a catch block.
QString currentErrorMessage();

// Modal boxes titled with the application title ("Quorvex"). Each runs a
// nested event loop, so the window's timer goes on ticking underneath.
void showErrorBox(QWidget* owner, const QString& message);
void showInformationBox(QWidget* owner, const QString& text);

}  // namespace quorvex
