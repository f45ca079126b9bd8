#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QWidget>

#include "alerts/alert_mail.h"
#include "alerts/notifier.h"
#include "monitor/delivery.h"
#include "monitor/engine.h"
#include "monitor/history_observer.h"
#include "monitor/monitor_controls.h"
#include "monitor/notifier_observer.h"
#include "monitor/observer.h"
#include "monitor/observer_list.h"
#include "monitor/outage_book.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvex {

class TSettings;
class TNotificationsPage;
class TOptionsPage;
class THistoryPage;

// Sends the test (testMode true) or alert e-mail; raises on failure. Tests
// put their own in place of the real mail. `reason`: why the server failed.
using SendMail =
    std::function<void(const TAlertMailFields& fields, bool testMode,
                       const std::u16string& serverName, const std::u16string& reason)>;

// What the window needs from outside; the defaults run the real thing.
struct TfrmMainServices {
  TProcessFactory processFactory = consoleAppFactory();
  SendMail sendMail{};  // empty: the real mail through the window's idSMTP
  // Sends the recovery mail; empty: the real mail through the window's idSMTP.
  std::function<void(const TAlertMailFields& fields, const std::u16string& serverName,
                     std::chrono::seconds outage, const std::u16string& reason)>
      sendRecoveryMail{};
  TAlertMailWaits mailWaits{};
  TNotifyLimits notifyLimits{};
  const TClock* clock = &TClock::System();
  // The history database; none: no history is kept.
  std::optional<std::u16string> historyFile{};
  // The status page, rewritten after every result (needs the history).
  std::optional<std::u16string> statusPage{};
};

// The program's one window: Monitor, Alerts, Options, History and Help pages. It owns the
// settings of the run and runs the monitor engine one test at a time; its
// rows observe the results.
class TfrmMain : public QWidget, public IMonitorControls, public IMonitorObserver {
  Q_OBJECT

 public:
  // settings has been through start-up (registry, file, discovery).
  TfrmMain(std::unique_ptr<TSettings> settings, TfrmMainServices services = {});
  ~TfrmMain() override;

  // Shows, in the output, what start-up found wrong (the settings file, a
  // folder without configurations); the window goes on as usual.
  void showStartUpNotes(const std::vector<std::u16string>& lines);

  // IMonitorControls
  std::u16string loginText() const override;
  std::u16string passwordText() const override;
  void setOutputText(const std::u16string& text) override;
  void appendOutput(const std::u16string& text) override;
  bool repeatChecked() const override;
  // mmOutput's text exactly as it was given.
  std::u16string outputText() const { return _output; }
  void setInputsEnabled(bool enabled) override;
  void setStopEnabled(bool enabled) override;
  void setTimerEnabled(bool enabled) override;

  // IMonitorObserver: the rows of lvServers
  void statusChanged(const TStatusChange& change) override;
  void deliveryDone(const TDeliveryOutcome& outcome) override;

  // The outage of a server as the window knows it.
  const TOutageBook& outages() const { return *_outages; }

 private:
  void createControls();
  void openHistory(const TfrmMainServices& services);
  void createMonitorPage(QWidget* page);
  void createAlertsPage(QWidget* page);
  void createHelpPage(QWidget* page);
  void fillFromSettings();

  void btnStartClick();
  void btnStopClick();
  void tmrTestTimer();
  void btnSaveClick();
  void btnTestMailClick();
  void btnManualClick();
  void lvServersCustomDrawSubItem(QTreeWidgetItem& row, TVerdict verdict);

  // The control of a field of the settings file; null for one without.
  QWidget* fieldControl(const TFieldSpec& spec) const;
  TAlertMailFields alertMailFields() const;
  void showOptions(const TOptions& options);
  // The Options page's values now; those also stored elsewhere come from the
  // file unless their control was changed since they were shown.
  TOptions pageOptions() const;
  void sendMail(bool testMode, const std::u16string& serverName, const std::u16string& reason);
  TOutageBook::AlertMail alertMail();
  TOutageBook::RecoveryMail recoveryMail();
  // Runs a handler; an error it raises goes to the error box.
  void guarded(const std::function<void()>& handler);
  void showOutput();
  void endOutputLine();

  std::unique_ptr<TSettings> _settings;
  SendMail _sendMail;
  decltype(TfrmMainServices::sendRecoveryMail) _sendRecoveryMail;
  TAlertMailWaits _mailWaits;
  // The SMTP client of the run for the test mail; each e-mail gets a
  // connection of its own. The alerts have one of their own, which only the
  // mail queue uses.
  std::unique_ptr<TQxSMTP> idSMTP;
  std::shared_ptr<TQxSMTP> _alertSMTP;
  const TClock& _clock;
  std::u16string _output;        // mmOutput's text exactly as the cycle gave it
  size_t _outputShown = 0;       // how much of _output the memo shows
  bool _tickErrorShown = false;  // an error box raised by a tick is open
  std::u16string _startNotice;   // shown above the first test's output after Start
  TOptions _shownOptions;        // what the Options page was last filled with

  // Controls belong to their Qt parents; these are links.
  QLabel* _logo = nullptr;
  QTabWidget* pcMain = nullptr;
  QWidget* tsMonitor = nullptr;
  QWidget* tsAlerts = nullptr;
  TOptionsPage* tsOptions = nullptr;
  THistoryPage* tsHistory = nullptr;
  TNotificationsPage* tsNotifications = nullptr;
  QWidget* tsHelp = nullptr;
  QLineEdit* edLogin = nullptr;
  QLineEdit* edPwd = nullptr;
  QTreeWidget* lvServers = nullptr;
  QPlainTextEdit* mmOutput = nullptr;
  QCheckBox* chbRepeat = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStop = nullptr;
  QLineEdit* edSMTPHost = nullptr;
  QLineEdit* edSMTPPort = nullptr;
  QLineEdit* edSMTPLogin = nullptr;
  QLineEdit* edSMTPPassword = nullptr;
  QCheckBox* chbSSL = nullptr;
  QLineEdit* edMsgFrom = nullptr;
  QLineEdit* edMsgTo = nullptr;
  QLineEdit* edMsgCC = nullptr;
  QLineEdit* edMsgSubject = nullptr;
  QPlainTextEdit* mmMsgText = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnTestMail = nullptr;
  QPushButton* btnSaveOptions = nullptr;
  QPushButton* btnManual = nullptr;
  QTimer* tmrTest = nullptr;

  // Results flow from the engine to the rows, then to the outage book and
  // its mails.
  TObserverList _observers;
  std::unique_ptr<THistoryObserver> _history;  // none when no history is kept
  std::vector<std::u16string> _historyNotes;   // what it said before the window was shown
  std::unique_ptr<TDeliveryWorker> _deliveries;
  std::unique_ptr<TOutageBook> _outages;
  std::unique_ptr<TNotifierObserver> _notifiers;
  // Last member: destroyed first, so a running child is terminated while
  // the controls it reports to still exist.
  std::unique_ptr<TMonitorEngine> _engine;
};

}  // namespace quorvex
