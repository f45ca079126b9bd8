#pragma once

#include <QPixmap>

namespace quorvex {

// The 90 x 77 picture at the top of the window, drawn rather than shipped.
QPixmap drawLogo();

}  // namespace quorvex
