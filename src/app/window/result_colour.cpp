#include "app/window/result_colour.h"

namespace quorvex {

std::optional<QColor> resultColour(int column, const QString& status) {
  if (column == 2) return QColor(0, 0, 0);
  if (column != 1) return std::nullopt;
  if (status == u"Successful") return QColor(0, 128, 0);
  if (status == u"Failed" || status == u"Failed to start") return QColor(255, 0, 0);
  return std::nullopt;
}

}  // namespace quorvex
