#pragma once

#include <vector>

#include <QWidget>

#include "settings/options.h"

namespace quorvex {

// The Options page: one control per row of the option table (a check box, a
// number box, a line or a list), named "opt_" and the element's name, its
// caption beside it and its help below.
class TOptionsPage : public QWidget {
  Q_OBJECT

 public:
  explicit TOptionsPage(QWidget* parent = nullptr);

  void showOptions(const TOptions& options);
  // What the controls say now, saved or not.
  TOptions options() const;
  // The controls in the table's order, for the tab order.
  const std::vector<QWidget*>& controls() const { return _controls; }

 private:
  std::vector<QWidget*> _controls;  // one per option, owned by their Qt parents
};

}  // namespace quorvex
