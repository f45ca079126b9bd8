#pragma once

#include <vector>

#include <QWidget>

#include "history/uptime_figures.h"

class QTreeWidget;
class QLabel;

namespace quorvex {

// The History page: the report's table (lvHistory) with, per server, its
// last 24 hours as a strip of coloured cells (an hour each: green all up,
// red all failed, amber some failed, grey no test).
class THistoryPage : public QWidget {
  Q_OBJECT

 public:
  explicit THistoryPage(QWidget* parent = nullptr);

  void showFigures(const std::vector<TServerFigures>& figures);
  // In place of the table: why there is no history to show.
  void showMessage(const QString& text);

  // The strip's cell colours of one row, oldest hour first, for tests.
  std::vector<QColor> stripColours(int row) const;

  static constexpr int kStripColumn = 9;

 private:
  QTreeWidget* _list;  // owned by this page
  QLabel* _message;
};

}  // namespace quorvex
