#pragma once

#include <QString>

namespace quorvex {

// quorvex.pdf ships with the program: beside the executable in the build
// tree, under ../share/quorvex once installed. Empty when neither exists.
QString findManual(const QString& exeDir);

}  // namespace quorvex
