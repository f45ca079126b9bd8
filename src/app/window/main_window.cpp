#include "app/window/main_window.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "app/start_up.h"
#include "app/window/error_display.h"
#include "app/window/history_page.h"
#include "app/window/logo.h"
#include "app/window/manual.h"
#include "app/window/notifications_page.h"
#include "app/window/options_page.h"
#include "app/window/result_colour.h"
#include "monitor/alert_jobs.h"
#include "monitor/report_text.h"
#include "platform/exception.h"
#include "platform/text.h"
#include "settings/settings.h"
#include "settings/value_text.h"

namespace quorvex {

namespace {

QString qs(const std::u16string& text) { return QString::fromStdU16String(text); }
std::u16string us(const QString& text) { return text.toStdU16String(); }

template <class Control>
Control* place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(parent);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

// Labels size themselves to their caption, as only their corner is fixed.
QLabel* label(QWidget* parent, const char* name, const char* caption, int left, int top) {
  auto* l = new QLabel(QString::fromLatin1(caption), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->move(left, top);
  l->adjustSize();
  return l;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, int left, int top) {
  auto* b = place<QPushButton>(parent, name, left, top, 75, 25);
  b->setText(QString::fromLatin1(caption));
  return b;
}

// Password fields mask each character with "*", whatever the style's own mask.
class TAsteriskPasswordStyle final : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return u'*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

QLineEdit* passwordField(QWidget* parent, const char* name, int left, int top, int width,
                         int height) {
  auto* field = place<QLineEdit>(parent, name, left, top, width, height);
  field->setEchoMode(QLineEdit::Password);
  // The field does not own its style; as its child the style outlives it.
  auto* style = new TAsteriskPasswordStyle;
  style->setParent(field);
  field->setStyle(style);
  return field;
}

QPlainTextEdit* memo(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* m = place<QPlainTextEdit>(parent, name, left, top, width, height);
  m->setTabChangesFocus(true);
  return m;
}

// The memo shows line breaks the way a terminal means them: CR LF and a lone
// CR both end a line. A CR at the very end waits for what follows it.
QString displayText(const std::u16string& text, size_t from, size_t& to) {
  QString shown;
  to = text.size();
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] != u'\r') {
      shown += QChar(text[i]);
    } else if (i + 1 == text.size()) {
      to = i;
    } else if (text[i + 1] != u'\n') {
      shown += u'\n';
    }
  }
  return shown;
}

// A field's control shows and gives its value in the field's stored form.
void showFieldText(QWidget* control, const std::u16string& text) {
  if (auto* line = qobject_cast<QLineEdit*>(control))
    line->setText(qs(text));
  else if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
    memo->setPlainText(qs(text));
  else if (auto* box = qobject_cast<QCheckBox*>(control))
    box->setChecked(textToBool(text));
}

std::u16string fieldText(const QWidget* control) {
  if (auto* line = qobject_cast<const QLineEdit*>(control)) return us(line->text());
  if (auto* memo = qobject_cast<const QPlainTextEdit*>(control)) return us(memo->toPlainText());
  if (auto* box = qobject_cast<const QCheckBox*>(control)) return boolToText(box->isChecked());
  return {};
}

}  // namespace

TfrmMain::TfrmMain(std::unique_ptr<TSettings> settings, TfrmMainServices services)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      _settings(std::move(settings)),
      _sendMail(std::move(services.sendMail)),
      _sendRecoveryMail(std::move(services.sendRecoveryMail)),
      _mailWaits(services.mailWaits),
      idSMTP(makeAlertSMTP()),
      _alertSMTP(makeAlertSMTP()),
      _clock(*services.clock) {
  createControls();
  tsNotifications->setLimits(services.notifyLimits);
  _observers.add(*this);
  openHistory(services);
  // The alerts go out beside the window, which never waits for them; each
  // outcome is shown as soon as it is known.
  _deliveries = std::make_unique<TDeliveryWorker>(_observers, _clock, mailGrace(_mailWaits));
  auto* mailDone = new QSocketNotifier(_deliveries->wakeFd(), QSocketNotifier::Read, this);
  connect(mailDone, &QSocketNotifier::activated, this, [this] { _deliveries->collect(); });
  // Outages are not carried over: every start of the window begins with none.
  _outages = std::make_unique<TOutageBook>(*_settings, *_deliveries, _observers, alertMail(),
                                           recoveryMail());
  _observers.add(*_outages);
  _notifiers = std::make_unique<TNotifierObserver>(*_settings, *_deliveries, services.notifyLimits);
  _observers.add(*_notifiers);
  _engine = std::make_unique<TMonitorEngine>(*_settings, *this, std::move(services.processFactory),
                                             _observers, _clock);
  fillFromSettings();
  QGuiApplication::setApplicationDisplayName(windowTitle());
}

void TfrmMain::openHistory(const TfrmMainServices& services) {
  if (!services.historyFile) {
    tsHistory->showMessage(QStringLiteral("No history is kept (--history none)."));
    return;
  }
  // Until the window is shown its words go to the start-up notes; after
  // that to the output, like the other troubles of a test.
  const auto notice = [this](const std::u16string& text) {
    if (_engine) {
      endOutputLine();
      appendOutput(text + u"\r\n");
    } else {
      _historyNotes.push_back(text);
    }
  };
  try {
    _history = std::make_unique<THistoryObserver>(*_settings, *services.historyFile,
                                                  services.statusPage, notice, _clock, false);
  } catch (const std::exception& e) {
    const std::u16string text = u"The history " + *services.historyFile + u" cannot be opened: " +
                                fromUtf8(e.what()) + u"; results are not kept.";
    _historyNotes.push_back(text);
    tsHistory->showMessage(QString::fromStdU16String(text));
    return;
  }
  _history->recorder().setFiguresListener(
      [this](const std::vector<TServerFigures>& figures) { tsHistory->showFigures(figures); });
  _history->recorder().refresh(historyTime(_clock.WallNow()));
  _observers.add(*_history);
}

TfrmMain::~TfrmMain() {
  _engine.reset();  // ends a running child first
  // A mail under way gets its bounded time; the outcomes still reach the
  // book and the memo, which are there until the members go.
  _deliveries->shutDown();
}

void TfrmMain::createControls() {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Quorvex"));
  setFixedSize(506, 588);
  // The layout is in pixels for an 11-pixel Tahoma; where Tahoma is
  // missing, a condensed sans keeps the captions about as wide.
  QFont tahoma;
  tahoma.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow")});
  tahoma.setStyleHint(QFont::SansSerif);
  tahoma.setPixelSize(11);
  setFont(tahoma);

  _logo = place<QLabel>(this, "imgLogo", 211, 0, 90, 77);
  _logo->setPixmap(drawLogo());
  _logo->setAttribute(Qt::WA_TranslucentBackground);

  pcMain = place<QTabWidget>(this, "pcMain", 0, 588 - 509, 506, 509);
  tsMonitor = new QWidget;
  tsMonitor->setObjectName(QStringLiteral("tsMonitor"));
  tsAlerts = new QWidget;
  tsAlerts->setObjectName(QStringLiteral("tsAlerts"));
  tsOptions = new TOptionsPage;
  tsOptions->setObjectName(QStringLiteral("tsOptions"));
  tsNotifications = new TNotificationsPage;
  tsNotifications->setObjectName(QStringLiteral("tsNotifications"));
  tsHelp = new QWidget;
  tsHelp->setObjectName(QStringLiteral("tsHelp"));
  pcMain->addTab(tsMonitor, QStringLiteral("Monitor"));
  pcMain->addTab(tsAlerts, QStringLiteral("Alerts"));
  pcMain->addTab(tsOptions, QStringLiteral("Options"));
  pcMain->addTab(tsNotifications, QStringLiteral("Notifications"));
  tsHistory = new THistoryPage;
  tsHistory->setObjectName(QStringLiteral("tsHistory"));
  pcMain->addTab(tsHistory, QStringLiteral("History"));
  pcMain->addTab(tsHelp, QStringLiteral("Help"));
  // The options are saved with the Alerts page's fields: one file, one Save.
  btnSaveOptions = button(tsOptions, "btnSaveOptions", "Save", 398, 449);
  connect(btnSaveOptions, &QPushButton::clicked, this, &TfrmMain::btnSaveClick);
  for (size_t i = 1; i < tsOptions->controls().size(); ++i)
    setTabOrder(tsOptions->controls()[i - 1], tsOptions->controls()[i]);
  setTabOrder(tsOptions->controls().back(), btnSaveOptions);
  createMonitorPage(tsMonitor);
  createAlertsPage(tsAlerts);
  createHelpPage(tsHelp);

  setTabOrder(edLogin, edPwd);
  setTabOrder(edPwd, lvServers);
  setTabOrder(lvServers, mmOutput);
  setTabOrder(mmOutput, chbRepeat);
  setTabOrder(chbRepeat, btnStart);
  setTabOrder(btnStart, btnStop);
  setTabOrder(edSMTPHost, edSMTPPort);
  setTabOrder(edSMTPPort, edSMTPLogin);
  setTabOrder(edSMTPLogin, edSMTPPassword);
  setTabOrder(edSMTPPassword, chbSSL);
  setTabOrder(chbSSL, edMsgFrom);
  setTabOrder(edMsgFrom, edMsgTo);
  setTabOrder(edMsgTo, edMsgCC);
  setTabOrder(edMsgCC, edMsgSubject);
  setTabOrder(edMsgSubject, mmMsgText);
  setTabOrder(mmMsgText, btnSave);
  setTabOrder(btnSave, btnTestMail);

  tmrTest = new QTimer(this);
  tmrTest->setObjectName(QStringLiteral("tmrTest"));
  tmrTest->setInterval(300);
  connect(tmrTest, &QTimer::timeout, this, &TfrmMain::tmrTestTimer);
}

void TfrmMain::createMonitorPage(QWidget* page) {
  label(page, "lblLogin", "Login:", 152, 15);
  edLogin = place<QLineEdit>(page, "edLogin", 208, 12, 117, 21);
  label(page, "lblPwd", "Password:", 152, 42);
  edPwd = passwordField(page, "edPwd", 208, 39, 117, 21);

  lvServers = place<QTreeWidget>(page, "lvServers", 30, 71, 441, 218);
  lvServers->setColumnCount(3);
  lvServers->setHeaderLabels(
      {QStringLiteral("Server"), QStringLiteral("Connection Test"), QStringLiteral("Last Run")});
  lvServers->header()->setStretchLastSection(false);
  lvServers->setColumnWidth(0, 206);
  lvServers->setColumnWidth(1, 132);
  lvServers->setColumnWidth(2, 79);
  lvServers->setRootIsDecorated(false);
  lvServers->setItemsExpandable(false);
  lvServers->setUniformRowHeights(true);
  lvServers->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvServers->setSelectionMode(QAbstractItemView::SingleSelection);

  mmOutput = memo(page, "mmOutput", 30, 295, 441, 145);
  mmOutput->setReadOnly(true);
  mmOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmOutput->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmOutput->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  chbRepeat = place<QCheckBox>(page, "chbRepeat", 30, 457, 149, 17);
  chbRepeat->setText(QStringLiteral("Repeat every %d minutes"));
  btnStart = button(page, "btnStart", "Start", 313, 449);
  btnStop = button(page, "btnStop", "Stop", 398, 449);
  btnStop->setEnabled(false);

  connect(btnStart, &QPushButton::clicked, this, &TfrmMain::btnStartClick);
  connect(btnStop, &QPushButton::clicked, this, &TfrmMain::btnStopClick);
}

void TfrmMain::createAlertsPage(QWidget* page) {
  auto* gbxSMTP = place<QGroupBox>(page, "gbxSMTP", 30, 24, 441, 129);
  gbxSMTP->setTitle(QStringLiteral("SMTP Server"));
  label(gbxSMTP, "lblSMTPHost", "Host:", 18, 24);
  edSMTPHost = place<QLineEdit>(gbxSMTP, "edSMTPHost", 74, 21, 223, 21);
  label(gbxSMTP, "lblSMTPPort", "Port:", 332, 24);
  edSMTPPort = place<QLineEdit>(gbxSMTP, "edSMTPPort", 368, 21, 57, 21);
  label(gbxSMTP, "lblSMTPLogin", "Login:", 18, 51);
  edSMTPLogin = place<QLineEdit>(gbxSMTP, "edSMTPLogin", 74, 48, 223, 21);
  label(gbxSMTP, "lblSMTPPassword", "Password:", 18, 78);
  edSMTPPassword = passwordField(gbxSMTP, "edSMTPPassword", 74, 75, 223, 21);
  chbSSL = place<QCheckBox>(gbxSMTP, "chbSSL", 74, 102, 97, 17);
  chbSSL->setText(QStringLiteral("SSL/TLS"));

  auto* gbxMessage = place<QGroupBox>(page, "gbxMessage", 30, 163, 441, 275);
  gbxMessage->setTitle(QStringLiteral("Message"));
  label(gbxMessage, "lblMsgFrom", "From:", 18, 24);
  edMsgFrom = place<QLineEdit>(gbxMessage, "edMsgFrom", 74, 21, 351, 21);
  label(gbxMessage, "lblMsgTo", "To:", 18, 51);
  edMsgTo = place<QLineEdit>(gbxMessage, "edMsgTo", 74, 48, 351, 21);
  label(gbxMessage, "lblMsgCC", "CC:", 18, 78);
  edMsgCC = place<QLineEdit>(gbxMessage, "edMsgCC", 74, 75, 351, 21);
  label(gbxMessage, "lblMsgSubject", "Subject:", 18, 105);
  edMsgSubject = place<QLineEdit>(gbxMessage, "edMsgSubject", 74, 102, 351, 21);
  edMsgSubject->setReadOnly(true);
  label(gbxMessage, "lblMsgText", "Text:", 18, 132);
  mmMsgText = memo(gbxMessage, "mmMsgText", 74, 129, 351, 136);

  btnSave = button(page, "btnSave", "Save", 313, 449);
  btnTestMail = button(page, "btnTestMail", "Test", 398, 449);
  connect(btnSave, &QPushButton::clicked, this, &TfrmMain::btnSaveClick);
  connect(btnTestMail, &QPushButton::clicked, this, &TfrmMain::btnTestMailClick);
}

void TfrmMain::createHelpPage(QWidget* page) {
  btnManual = button(page, "btnManual", "Manual", 32, 24);
  connect(btnManual, &QPushButton::clicked, this, &TfrmMain::btnManualClick);
}

void TfrmMain::fillFromSettings() {
  const TSettings& s = *_settings;
  for (const TFieldSpec& spec : fieldTable())
    if (QWidget* control = fieldControl(spec)) showFieldText(control, s.FieldText(spec.id));
  chbRepeat->setText(
      chbRepeat->text().replace(QStringLiteral("%d"), QString::number(s.RepeatPeriod())));
  // A long period or a wide font must not cut the caption; there is room up to Start.
  chbRepeat->resize(std::max(chbRepeat->width(), chbRepeat->sizeHint().width()),
                    chbRepeat->height());
  for (int i = 0; i < s.ServerCount(); ++i) {
    auto* row = new QTreeWidgetItem(lvServers,
                                    {qs(EscapeControls(s.Servers(i).Name())),
                                     qs(std::u16string(verdictText(TVerdict::NotRun))), QString()});
    lvServersCustomDrawSubItem(*row, TVerdict::NotRun);
  }
  showOptions(s.Options());
  tsNotifications->showNotifiers(s.Notifiers(), s.FileName());
  pcMain->setCurrentWidget(tsMonitor);
}

// --- handlers -------------------------------------------------------------

void TfrmMain::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    showErrorBox(QApplication::activeWindow() ? QApplication::activeWindow() : this,
                 currentErrorMessage());
  }
}

void TfrmMain::btnStartClick() {
  guarded([&] {
    _startNotice = emptyLoginWarning(*_settings, us(edLogin->text()));
    _engine->start();
  });
}

void TfrmMain::showStartUpNotes(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (const std::u16string& line : lines) text += line + u"\r\n";
  for (const std::u16string& line : _historyNotes) text += line + u"\r\n";
  _historyNotes.clear();
  if (_settings->ServerCount() == 0) text += noServersText(*_settings) + u"\r\n";
  if (!text.empty()) setOutputText(text);
}

void TfrmMain::btnStopClick() {
  guarded([&] { _engine->stop(); });
}

void TfrmMain::tmrTestTimer() {
  try {
    _engine->tick();
  } catch (...) {
    // The box opens outside this slot: while a timer's slot runs, that timer
    // does not fire, and the cycle must go on under the box. A tick that
    // fails while its box is open adds no second box on top, so a fault
    // that repeats every tick cannot pile up boxes without end.
    if (_tickErrorShown) return;
    _tickErrorShown = true;
    QTimer::singleShot(0, this, [this, message = currentErrorMessage()] {
      showErrorBox(QApplication::activeWindow() ? QApplication::activeWindow() : this, message);
      _tickErrorShown = false;
    });
  }
}

void TfrmMain::btnSaveClick() {
  guarded([&] {
    TSettings& s = *_settings;
    // In the file's order: a port that is not a number stops here, keeping
    // the values before it, and nothing is written.
    for (const TFieldSpec& spec : fieldTable())
      if (const QWidget* control = fieldControl(spec)) s.SetFieldText(spec.id, fieldText(control));
    s.SetOptions(pageOptions());
    s.saveToFile();
    showOptions(s.Options());
    showInformationBox(this, QStringLiteral("Settings are saved."));
  });
}

void TfrmMain::btnTestMailClick() {
  guarded([&] {
    sendMail(true, u"", u"");
    showInformationBox(this, QStringLiteral("Test successful."));
  });
}

void TfrmMain::btnManualClick() {
  guarded([&] {
    const QString path = findManual(QCoreApplication::applicationDirPath());
    if (path.isEmpty()) throw EFileError(u"The manual quorvex.pdf is not installed");
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
      throw EFileError(u"No program is set up to open " + us(path));
  });
}

void TfrmMain::lvServersCustomDrawSubItem(QTreeWidgetItem& row, TVerdict verdict) {
  for (int column : {1, 2}) {
    if (auto colour = resultColour(column, verdict))
      row.setForeground(column, *colour);
    else
      row.setData(column, Qt::ForegroundRole, QVariant());
  }
}

QWidget* TfrmMain::fieldControl(const TFieldSpec& spec) const {
  if (spec.control.empty()) return nullptr;
  return findChild<QWidget*>(QString::fromLatin1(spec.control.data(), spec.control.size()));
}

// What the page says now, saved or not.
TAlertMailFields TfrmMain::alertMailFields() const {
  return alertMailFieldsFrom(
      [this](TFieldId id) {
        const QWidget* control = fieldControl(fieldSpec(id));
        return control ? fieldText(control) : _settings->FieldText(id);
      },
      pageOptions(), _settings->FileName());
}

void TfrmMain::showOptions(const TOptions& options) {
  tsOptions->showOptions(options);
  _shownOptions = options;
}

TOptions TfrmMain::pageOptions() const {
  TOptions options = tsOptions->options();
  const auto takenFromFile = [&](const TOptionSpec& spec) {
    return spec.storedElsewhere && options.Text(spec.id) == _shownOptions.Text(spec.id);
  };
  if (std::none_of(optionTable().begin(), optionTable().end(), takenFromFile)) return options;
  TSettings file(_settings->FileName());
  try {
    file.loadFromFile();
  } catch (...) {
    return options;  // nothing newer to take: the page's values stand
  }
  for (const TOptionSpec& spec : optionTable())
    if (takenFromFile(spec)) options.SetText(spec.id, file.Options().Text(spec.id));
  return options;
}

void TfrmMain::sendMail(bool testMode, const std::u16string& serverName,
                        const std::u16string& reason) {
  if (_sendMail) return _sendMail(alertMailFields(), testMode, serverName, reason);
  quorvex::sendMail(*idSMTP, alertMailFields(), testMode, serverName, _mailWaits, reason);
}

TOutageBook::AlertMail TfrmMain::alertMail() {
  const auto fields = [this] { return alertMailFields(); };
  if (!_sendMail) return alertMailJobs(fields, _alertSMTP, _mailWaits);
  return [this, fields](const TVPNServer& server, const std::u16string& reason) -> TSendJob {
    return [send = _sendMail, mail = fields(), name = server.Name(), reason] {
      send(mail, false, name, reason);
    };
  };
}

TOutageBook::RecoveryMail TfrmMain::recoveryMail() {
  const auto fields = [this] { return alertMailFields(); };
  if (!_sendRecoveryMail) return recoveryMailJobs(fields, _alertSMTP, _mailWaits);
  return [this, fields](const TVPNServer& server, std::chrono::seconds outage,
                        const std::u16string& reason) -> TSendJob {
    return [send = _sendRecoveryMail, mail = fields(), name = server.Name(), outage, reason] {
      send(mail, name, outage, reason);
    };
  };
}

// --- the engine's controls -------------------------------------------------

std::u16string TfrmMain::loginText() const { return us(edLogin->text()); }
std::u16string TfrmMain::passwordText() const { return us(edPwd->text()); }

void TfrmMain::setOutputText(const std::u16string& text) {
  _output = text;
  _outputShown = 0;
  mmOutput->clear();
  // The first test after Start keeps the warning above its output.
  if (!_startNotice.empty()) {
    _output = _startNotice + u"\r\n" + _output;
    _startNotice.clear();
  }
  showOutput();
}

void TfrmMain::appendOutput(const std::u16string& text) {
  _output += text;
  showOutput();
  mmOutput->verticalScrollBar()->setValue(mmOutput->verticalScrollBar()->maximum());
}

void TfrmMain::showOutput() {
  size_t shownTo = 0;
  const QString shown = displayText(_output, _outputShown, shownTo);
  _outputShown = shownTo;
  if (shown.isEmpty()) return;
  QTextCursor end(mmOutput->document());
  end.movePosition(QTextCursor::End);
  end.insertText(shown);
}

void TfrmMain::statusChanged(const TStatusChange& change) {
  QTreeWidgetItem* item = lvServers->topLevelItem(change.row);
  if (!item) return;
  const std::u16string status(verdictText(change.verdict));
  item->setText(1, qs(status));
  lvServersCustomDrawSubItem(*item, change.verdict);
  // A result keeps its time; a test under way or cut short has none.
  const bool result =
      change.verdict != TVerdict::Running && change.verdict != TVerdict::Interrupted;
  item->setText(2, result ? qs(formatLastRun(change.localTime)) : QString());
  // The reason stays with the row after the memo has moved on to the next
  // server, and ends this server's output.
  const std::u16string why = change.reason.kind == TFailureKind::None ? u"" : change.reason.text();
  for (int column = 0; column < 3; ++column) item->setToolTip(column, qs(why));
  if (why.empty()) return;
  endOutputLine();
  appendOutput(status + u": " + why + u"\r\n");
}

void TfrmMain::deliveryDone(const TDeliveryOutcome& outcome) {
  endOutputLine();
  appendOutput(oneLine(outcome.line()) + u"\r\n");
}

void TfrmMain::endOutputLine() {
  if (!_output.empty() && _output.back() != u'\n') appendOutput(u"\r\n");
}

bool TfrmMain::repeatChecked() const { return chbRepeat->isChecked(); }

void TfrmMain::setInputsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{edLogin, edPwd, btnStart, chbRepeat})
    w->setEnabled(enabled);
}

void TfrmMain::setStopEnabled(bool enabled) { btnStop->setEnabled(enabled); }

void TfrmMain::setTimerEnabled(bool enabled) {
  // start() on a running timer would restart its interval.
  if (!enabled)
    tmrTest->stop();
  else if (!tmrTest->isActive())
    tmrTest->start();
}

}  // namespace quorvex
