#include "app/window/result_colour.h"

namespace quorvex {

std::optional<QColor> resultColour(int column, TVerdict verdict) {
  if (column == 2) return QColor(0, 0, 0);
  if (column != 1) return std::nullopt;
  switch (verdictSide(verdict)) {
    case TVerdictSide::Up:
      return QColor(0, 128, 0);
    case TVerdictSide::Down:
      return QColor(255, 0, 0);
    case TVerdictSide::Neither:
      break;
  }
  return std::nullopt;
}

}  // namespace quorvex
