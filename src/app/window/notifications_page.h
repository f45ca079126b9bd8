#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QWidget>

#include "alerts/notifier.h"
#include "settings/notifiers.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quorvex {

// The Notifications page: the notifiers of the settings file, one row each
// (name, kind, events, where it sends to, the last test's outcome) with a
// Test button that sends a test notification without holding the window.
class TNotificationsPage : public QWidget {
  Q_OBJECT

 public:
  explicit TNotificationsPage(QWidget* parent = nullptr);
  // Waits for the tests still on their way; each is bounded.
  ~TNotificationsPage() override;

  void showNotifiers(const std::vector<TNotifierConfig>& notifiers,
                     const std::u16string& settingsFile);
  void setLimits(const TNotifyLimits& limits) { _limits = limits; }
  // Tests still on their way.
  int testsRunning() const { return _running; }

 private:
  void testClicked(size_t index);
  void testDone(size_t index, const std::u16string& outcome, bool sent);

  TNotifyLimits _limits{};
  std::vector<TNotifierConfig> _notifiers;
  std::vector<QPushButton*> _buttons;  // one per row, owned by the list
  std::vector<std::jthread> _tests;
  int _running = 0;
  QTreeWidget* lvNotifiers = nullptr;
  QLabel* lblWhere = nullptr;
};

}  // namespace quorvex
