#include "app/window/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/window/window_start_up.h"
#include "platform/exception.h"
#include "settings/settings.h"
#include "support/cycle_fakes.h"
#include "support/loopback.h"
#include "support/scripted_smtp_peer.h"
#include "support/temp_folder.h"
#include "window_test_support.h"

namespace quorvex::test {
namespace {

// Records the e-mails the window asks for; fails them with `error` when set.
struct FakeMail {
  struct Sent {
    TAlertMailFields fields;
    bool testMode;
    std::u16string serverName;
    std::u16string reason;
  };
  // Alerts come from the mail queue's thread; the test looks once the
  // window has shown the outcome.
  std::vector<Sent> sent;
  std::u16string error;
  std::mutex mutex;
  size_t count() {
    std::lock_guard lock(mutex);
    return sent.size();
  }
  SendMail op() {
    return [this](const TAlertMailFields& fields, bool testMode, const std::u16string& serverName,
                  const std::u16string& reason) {
      std::lock_guard lock(mutex);
      sent.push_back({fields, testMode, serverName, reason});
      if (!error.empty()) throw EQxException(error);
    };
  }
};

class WindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<TfrmMain> open(const TestMachine& machine) {
    TfrmMainServices services;
    services.processFactory = children.factory();
    services.sendMail = mail.op();
    TWindowStartUp startUp = createMainWindow(machine.settingsPath(), std::move(services));
    EXPECT_TRUE(startUp.window);
    if (startUp.window) startUp.window->show();
    return std::move(startUp.window);
  }

  void TearDown() override {
    EXPECT_FALSE(boxes.overdue) << "a message box stayed open";
    EXPECT_EQ(boxes.openBox(), nullptr);
  }

  static bool idle(TfrmMain& w) {
    return control<QPushButton>(w, "btnStart")->isEnabled() &&
           !control<QTimer>(w, "tmrTest")->isActive();
  }

  BoxAnswerer boxes;
  // A server without a script never starts.
  TFakeChildren children{.unscripted = {.runThrows = true}};
  FakeMail mail;
};

bool outputShows(TfrmMain& w, const char* line) {
  return control<QPlainTextEdit>(w, "mmOutput")->toPlainText().contains(QString::fromUtf8(line));
}

const QRegularExpression kLastRun(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));

TEST_F(WindowTest, LaysOutEveryControl) {
  TestMachine machine({});
  auto w = open(machine);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->windowTitle(), "Quorvex");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Quorvex");
  EXPECT_EQ(w->minimumSize(), QSize(506, 588));
  EXPECT_EQ(w->maximumSize(), QSize(506, 588));
  EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);

  auto* logo = control<QLabel>(*w, "imgLogo");
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->geometry(), QRect(211, 0, 90, 77));
  EXPECT_EQ(logo->pixmap().size(), QSize(90, 77));
  EXPECT_TRUE(logo->pixmap().hasAlphaChannel());

  auto* pcMain = control<QTabWidget>(*w, "pcMain");
  ASSERT_TRUE(pcMain);
  EXPECT_EQ(pcMain->geometry(), QRect(0, 79, 506, 509));
  ASSERT_EQ(pcMain->count(), 6);
  const char* pages[] = {"tsMonitor",       "tsAlerts",  "tsOptions",
                         "tsNotifications", "tsHistory", "tsHelp"};
  const char* tabs[] = {"Monitor", "Alerts", "Options", "Notifications", "History", "Help"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(pcMain->widget(i)->objectName(), pages[i]);
    EXPECT_EQ(pcMain->tabText(i), tabs[i]);
  }
  EXPECT_EQ(pcMain->currentWidget()->objectName(), "tsMonitor");

  struct Placed {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* caption;  // the text of buttons, check boxes, group boxes
  };
  const Placed placed[] = {
      {"edLogin", "tsMonitor", {208, 12, 117, 21}, nullptr},
      {"edPwd", "tsMonitor", {208, 39, 117, 21}, nullptr},
      {"lvServers", "tsMonitor", {30, 71, 441, 218}, nullptr},
      {"mmOutput", "tsMonitor", {30, 295, 441, 145}, nullptr},
      {"chbRepeat", "tsMonitor", {30, 457, 149, 17}, "Repeat every 5 minutes"},
      {"btnStart", "tsMonitor", {313, 449, 75, 25}, "Start"},
      {"btnStop", "tsMonitor", {398, 449, 75, 25}, "Stop"},
      {"gbxSMTP", "tsAlerts", {30, 24, 441, 129}, "SMTP Server"},
      {"edSMTPHost", "gbxSMTP", {74, 21, 223, 21}, nullptr},
      {"edSMTPPort", "gbxSMTP", {368, 21, 57, 21}, nullptr},
      {"edSMTPLogin", "gbxSMTP", {74, 48, 223, 21}, nullptr},
      {"edSMTPPassword", "gbxSMTP", {74, 75, 223, 21}, nullptr},
      {"chbSSL", "gbxSMTP", {74, 102, 97, 17}, "SSL/TLS"},
      {"gbxMessage", "tsAlerts", {30, 163, 441, 275}, "Message"},
      {"edMsgFrom", "gbxMessage", {74, 21, 351, 21}, nullptr},
      {"edMsgTo", "gbxMessage", {74, 48, 351, 21}, nullptr},
      {"edMsgCC", "gbxMessage", {74, 75, 351, 21}, nullptr},
      {"edMsgSubject", "gbxMessage", {74, 102, 351, 21}, nullptr},
      {"mmMsgText", "gbxMessage", {74, 129, 351, 136}, nullptr},
      {"btnSave", "tsAlerts", {313, 449, 75, 25}, "Save"},
      {"btnTestMail", "tsAlerts", {398, 449, 75, 25}, "Test"},
      {"btnManual", "tsHelp", {32, 24, 75, 25}, "Manual"},
  };
  for (const Placed& p : placed) {
    SCOPED_TRACE(p.name);
    auto* c = control<QWidget>(*w, p.name);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->parentWidget()->objectName(), p.parent);
    if (c->objectName() == "chbRepeat") {
      // It may grow to the right to fit its caption in a wider font.
      EXPECT_EQ(c->pos(), p.geometry.topLeft());
      EXPECT_EQ(c->height(), p.geometry.height());
      EXPECT_GE(c->width(), p.geometry.width());
    } else {
      EXPECT_EQ(c->geometry(), p.geometry);
    }
    if (!p.caption) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(c)) {
      EXPECT_EQ(b->text(), p.caption);
    } else if (auto* g = qobject_cast<QGroupBox*>(c)) {
      EXPECT_EQ(g->title(), p.caption);
    }
  }

  const std::pair<const char*, const char*> labels[] = {
      {"lblLogin", "Login:"},        {"lblPwd", "Password:"},    {"lblSMTPHost", "Host:"},
      {"lblSMTPPort", "Port:"},      {"lblSMTPLogin", "Login:"}, {"lblSMTPPassword", "Password:"},
      {"lblMsgFrom", "From:"},       {"lblMsgTo", "To:"},        {"lblMsgCC", "CC:"},
      {"lblMsgSubject", "Subject:"}, {"lblMsgText", "Text:"}};
  for (const auto& [name, caption] : labels) {
    auto* l = control<QLabel>(*w, name);
    ASSERT_TRUE(l) << name;
    EXPECT_EQ(l->text(), caption);
  }

  for (const char* name : {"edPwd", "edSMTPPassword"}) {
    auto* field = control<QLineEdit>(*w, name);
    EXPECT_EQ(field->echoMode(), QLineEdit::Password) << name;
    // One "*" per character, whatever the style would draw.
    field->setText(QStringLiteral(u"pw \u00e9"));
    EXPECT_EQ(field->displayText(), QStringLiteral("****")) << name;
    field->clear();
  }
  EXPECT_EQ(control<QLineEdit>(*w, "edLogin")->echoMode(), QLineEdit::Normal);
  EXPECT_TRUE(control<QLineEdit>(*w, "edMsgSubject")->isReadOnly());
  EXPECT_FALSE(control<QLineEdit>(*w, "edMsgFrom")->isReadOnly());
  auto* output = control<QPlainTextEdit>(*w, "mmOutput");
  EXPECT_TRUE(output->isReadOnly());
  EXPECT_EQ(output->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(output->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(control<QPlainTextEdit>(*w, "mmMsgText")->isReadOnly());

  auto* list = control<QTreeWidget>(*w, "lvServers");
  ASSERT_EQ(list->columnCount(), 3);
  const std::pair<const char*, int> columns[] = {
      {"Server", 206}, {"Connection Test", 132}, {"Last Run", 79}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list->headerItem()->text(i), columns[i].first);
    EXPECT_EQ(list->columnWidth(i), columns[i].second);
  }
  EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);

  EXPECT_TRUE(control<QPushButton>(*w, "btnStart")->isEnabled());
  EXPECT_FALSE(control<QPushButton>(*w, "btnStop")->isEnabled());
  EXPECT_FALSE(control<QCheckBox>(*w, "chbRepeat")->isChecked());
  auto* timer = control<QTimer>(*w, "tmrTest");
  ASSERT_TRUE(timer);
  EXPECT_EQ(timer->interval(), 300);
  EXPECT_FALSE(timer->isActive());
}

TEST_F(WindowTest, TabMovesThroughEachPageInOrder) {
  TestMachine machine({"a"});
  auto w = open(machine);
  ASSERT_TRUE(w);
  QApplication::setActiveWindow(w.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  auto* pcMain = control<QTabWidget>(*w, "pcMain");
  // btnStop is disabled while idle, so Tab passes it by.
  const std::vector<std::vector<const char*>> orders = {
      {"edLogin", "edPwd", "lvServers", "mmOutput", "chbRepeat", "btnStart"},
      {"edSMTPHost", "edSMTPPort", "edSMTPLogin", "edSMTPPassword", "chbSSL", "edMsgFrom",
       "edMsgTo", "edMsgCC", "edMsgSubject", "mmMsgText", "btnSave", "btnTestMail"},
  };
  for (size_t page = 0; page < orders.size(); ++page) {
    pcMain->setCurrentIndex(static_cast<int>(page));
    control<QWidget>(*w, orders[page][0])->setFocus(Qt::TabFocusReason);
    for (size_t i = 1; i < orders[page].size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      ASSERT_TRUE(QApplication::focusWidget());
      EXPECT_EQ(QApplication::focusWidget()->objectName(), orders[page][i])
          << "after " << orders[page][i - 1];
    }
  }
}

struct FillCase {
  const char* name;
  std::string settingsXml;  // empty: no settings file
  std::vector<std::pair<const char*, const char*>> lineEdits;
  bool ssl;
  const char* text;
  const char* repeatCaption;
};

TEST_F(WindowTest, FillsTheFieldsFromTheSettingsFile) {
  const FillCase cases[] = {
      {"no settings file",
       "",
       {{"edLogin", ""},
        {"edPwd", ""},
        {"edSMTPHost", ""},
        {"edSMTPPort", "0"},
        {"edSMTPLogin", ""},
        {"edSMTPPassword", ""},
        {"edMsgFrom", ""},
        {"edMsgTo", ""},
        {"edMsgCC", ""},
        {"edMsgSubject", "<serverName> Down!"}},
       false,
       "",
       "Repeat every 5 minutes"},
      {"every value set, another subject",
       "<settings><username>alice</username><password>s3cret</password>"
       "<repeat_period>15</repeat_period><conn_timeout>30</conn_timeout>"
       "<alerts><smtp_server><host>mail.example.org</host><login>bob</login>"
       "<password>mailpw</password><port>587</port><ssl_tls>true</ssl_tls></smtp_server>"
       "<message><from>vpn@example.org</from><cc>ops@example.org</cc>"
       "<subject>Something else</subject><text>Server &lt;serverName&gt; is down</text>"
       "<to>admin@example.org</to></message></alerts></settings>",
       {{"edLogin", "alice"},
        {"edPwd", "s3cret"},
        {"edSMTPHost", "mail.example.org"},
        {"edSMTPPort", "587"},
        {"edSMTPLogin", "bob"},
        {"edSMTPPassword", "mailpw"},
        {"edMsgFrom", "vpn@example.org"},
        {"edMsgTo", "admin@example.org"},
        {"edMsgCC", "ops@example.org"},
        {"edMsgSubject", "<serverName> Down!"}},
       true,
       "Server <serverName> is down",
       "Repeat every 15 minutes"},
      {"damaged settings file",
       "<settings><username>al",
       {{"edLogin", ""}},
       false,
       "",
       "Repeat every 5 minutes"},
  };
  for (const FillCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestMachine machine({"office", "home"});
    if (!c.settingsXml.empty()) machine.writeSettings(c.settingsXml);
    auto w = open(machine);
    ASSERT_TRUE(w);
    for (const auto& [name, text] : c.lineEdits)
      EXPECT_EQ(control<QLineEdit>(*w, name)->text(), QString::fromUtf8(text)) << name;
    EXPECT_EQ(control<QCheckBox>(*w, "chbSSL")->isChecked(), c.ssl);
    EXPECT_EQ(control<QPlainTextEdit>(*w, "mmMsgText")->toPlainText(), c.text);
    EXPECT_EQ(control<QCheckBox>(*w, "chbRepeat")->text(), c.repeatCaption);
    auto* repeat = control<QCheckBox>(*w, "chbRepeat");
    EXPECT_GE(repeat->width(), repeat->sizeHint().width()) << "caption cut";
    auto* list = control<QTreeWidget>(*w, "lvServers");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    for (const char* server : {"office", "home"}) {
      EXPECT_EQ(rowText(*w, server, 1), "Not Run");
      EXPECT_EQ(rowText(*w, server, 2), "");
    }
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WindowTest, StartTestsEveryServerAndColoursTheResults) {
  TestMachine machine({"up", "down", "broken"});
  children.scripts[u"up.ovpn"] = connectingChild();
  children.scripts[u"down.ovpn"] = exitingChild();
  // "broken" has no child: starting it fails.
  auto w = open(machine);
  ASSERT_TRUE(w);
  // Unsaved edits are what the alert is made of.
  control<QLineEdit>(*w, "edMsgTo")->setText(QStringLiteral("oncall@example.org"));
  control<QPlainTextEdit>(*w, "mmMsgText")->setPlainText(QStringLiteral("<serverName> is down"));

  control<QPushButton>(*w, "btnStart")->click();
  EXPECT_FALSE(control<QPushButton>(*w, "btnStart")->isEnabled());
  EXPECT_FALSE(control<QLineEdit>(*w, "edLogin")->isEnabled());
  EXPECT_FALSE(control<QLineEdit>(*w, "edPwd")->isEnabled());
  EXPECT_FALSE(control<QCheckBox>(*w, "chbRepeat")->isEnabled());
  EXPECT_TRUE(control<QPushButton>(*w, "btnStop")->isEnabled());
  ASSERT_TRUE(waitFor([&] { return idle(*w); }));
  EXPECT_FALSE(control<QPushButton>(*w, "btnStop")->isEnabled());

  struct Result {
    const char* server;
    const char* status;
    QColor colour;
  };
  const Result results[] = {{"up", "Successful", QColor(0, 128, 0)},
                            {"down", "Failed", QColor(255, 0, 0)},
                            {"broken", "Failed to start", QColor(255, 0, 0)}};
  for (const Result& r : results) {
    SCOPED_TRACE(r.server);
    EXPECT_EQ(rowText(*w, r.server, 1), r.status);
    EXPECT_EQ(rowColour(*w, r.server, 1), r.colour);
    EXPECT_TRUE(kLastRun.match(rowText(*w, r.server, 2)).hasMatch())
        << rowText(*w, r.server, 2).toStdString();
    EXPECT_EQ(rowColour(*w, r.server, 2), QColor(0, 0, 0));
  }
  EXPECT_TRUE(children.of(u"up.ovpn").released);

  // The alert goes out beside the window.
  ASSERT_TRUE(waitFor([&] { return mail.count() == 1; }));
  EXPECT_FALSE(mail.sent[0].testMode);
  EXPECT_EQ(mail.sent[0].serverName, u"down");
  EXPECT_EQ(mail.sent[0].fields.MsgTo, u"oncall@example.org");
  EXPECT_EQ(mail.sent[0].fields.MsgText, u"<serverName> is down");
  EXPECT_EQ(mail.sent[0].fields.MsgSubject, u"<serverName> Down!");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WindowTest, AnAlertThatCannotBeSentShowsNoBox) {
  TestMachine machine({"down"});
  children.scripts[u"down.ovpn"] = exitingChild();
  mail.error = u"Socket Error # 10061\r\nConnection refused.";
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return idle(*w); }));
  EXPECT_EQ(rowText(*w, "down", 1), "Failed");
  ASSERT_TRUE(waitFor([&] {
    return outputShows(*w, "alert for down not sent: Socket Error # 10061 Connection refused.");
  }));
  EXPECT_EQ(mail.sent.size(), 1u);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WindowTest, AFailedRowSaysWhyInItsTooltipAndAtTheEndOfTheOutput) {
  {
    TestMachine machine({"down", "broken", "up"});
    children.scripts[u"down.ovpn"] = exitingChild();  // ends on an options error
    children.scripts[u"up.ovpn"] = connectingChild();
    auto w = open(machine);
    ASSERT_TRUE(w);
    auto tooltip = [&](const char* server) {
      const auto found = control<QTreeWidget>(*w, "lvServers")
                             ->findItems(QString::fromLatin1(server), Qt::MatchExactly, 0);
      return found.isEmpty() ? QStringLiteral("(no row)") : found[0]->toolTip(1);
    };
    control<QPushButton>(*w, "btnStart")->click();
    ASSERT_TRUE(waitFor([&] { return idle(*w); }));
    // The status words stay as they were.
    EXPECT_EQ(rowText(*w, "down", 1), "Failed");
    EXPECT_EQ(tooltip("down"), "configuration error");
    EXPECT_EQ(rowText(*w, "broken", 1), "Failed to start");
    EXPECT_FALSE(tooltip("broken").isEmpty());
    EXPECT_EQ(tooltip("up"), "");
    ASSERT_TRUE(waitFor([&] { return mail.count() == 1; }));
    EXPECT_EQ(mail.sent[0].reason, u"configuration error");
  }
  TestMachine machine({"down"});
  children.scripts[u"down.ovpn"] = exitingChild();
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return idle(*w) && outputShows(*w, "alert for down sent"); }));
  EXPECT_EQ(control<QPlainTextEdit>(*w, "mmOutput")->toPlainText(),
            "Options error: cannot read the certificate\nFailed: configuration error\n"
            "alert for down sent\n");
}

TEST_F(WindowTest, AnswersPromptsWithoutShowingThePassword) {
  TestMachine machine({"office"});
  children.scripts[u"office.ovpn"] = {
      .reads = {u"Enter Auth Username:"},
      .replies = {u"Enter Auth Password:", u"Initialization Sequence Completed\r\n"}};
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QLineEdit>(*w, "edLogin")->setText(QStringLiteral("alice"));
  control<QLineEdit>(*w, "edPwd")->setText(QStringLiteral("s3cret"));
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return idle(*w); }));
  EXPECT_EQ(rowText(*w, "office", 1), "Successful");
  EXPECT_EQ(children.of(u"office.ovpn").input(), u"alice\r\ns3cret\r\n");
  EXPECT_EQ(control<QPlainTextEdit>(*w, "mmOutput")->toPlainText(),
            "Enter Auth Username:alice\nEnter Auth Password:\nInitialization Sequence Completed\n");
}

TEST_F(WindowTest, StopMarksTheServerInterruptedAndEndsItsChild) {
  TestMachine machine({"slow"});
  children.scripts[u"slow.ovpn"] = silentChild();
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return rowText(*w, "slow", 1) == "Running"; }));
  EXPECT_EQ(rowColour(*w, "slow", 1), QColor());
  control<QPushButton>(*w, "btnStop")->click();
  EXPECT_TRUE(idle(*w));
  EXPECT_FALSE(control<QPushButton>(*w, "btnStop")->isEnabled());
  EXPECT_TRUE(control<QLineEdit>(*w, "edLogin")->isEnabled());
  EXPECT_EQ(rowText(*w, "slow", 1), "Interrupted");
  EXPECT_EQ(rowText(*w, "slow", 2), "");
  EXPECT_EQ(rowColour(*w, "slow", 1), QColor());
  EXPECT_TRUE(children.of(u"slow.ovpn").released);
}

TEST_F(WindowTest, ClosingTheWindowEndsTheChildAndWritesNothing) {
  TestMachine machine({"slow"});
  children.scripts[u"slow.ovpn"] = silentChild();
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QLineEdit>(*w, "edSMTPHost")->setText(QStringLiteral("changed.example.org"));
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return rowText(*w, "slow", 1) == "Running"; }));
  w->close();
  w.reset();
  EXPECT_TRUE(children.of(u"slow.ovpn").released);
  EXPECT_FALSE(QFile::exists(QString::fromStdU16String(machine.settingsPath())));
}

TEST_F(WindowTest, ColoursFollowTheStatusWord) {
  TestMachine machine({"a"});
  auto w = open(machine);
  ASSERT_TRUE(w);
  const std::pair<TVerdict, QColor> cases[] = {{TVerdict::Successful, QColor(0, 128, 0)},
                                               {TVerdict::Failed, QColor(255, 0, 0)},
                                               {TVerdict::FailedToStart, QColor(255, 0, 0)},
                                               {TVerdict::Running, QColor()},
                                               {TVerdict::Interrupted, QColor()},
                                               {TVerdict::NotRun, QColor()}};
  IMonitorObserver& rows = *w;
  for (const auto& [status, colour] : cases) {
    rows.statusChanged({0, status});
    const std::u16string word(verdictText(status));
    EXPECT_EQ(rowText(*w, "a", 1), QString::fromStdU16String(word));
    EXPECT_EQ(rowColour(*w, "a", 1), colour) << QString::fromStdU16String(word).toStdString();
    EXPECT_EQ(rowColour(*w, "a", 2), QColor(0, 0, 0));
  }
}

TEST_F(WindowTest, OutputKeepsTheChildsTextAndShowsItsLines) {
  TestMachine machine({});
  auto w = open(machine);
  ASSERT_TRUE(w);
  IMonitorControls& view = *w;
  auto* memo = control<QPlainTextEdit>(*w, "mmOutput");
  struct Case {
    std::vector<std::u16string> chunks;
    const char* shown;
  };
  const Case cases[] = {
      {{u"one\r\ntwo\r\n"}, "one\ntwo\n"},
      {{u"one\r", u"\ntwo"}, "one\ntwo"},  // CR LF split between two reads
      {{u"50%\r", u"100%\r\n"}, "50%\n100%\n"},
      {{u"plain\nlines\n"}, "plain\nlines\n"},
  };
  for (const Case& c : cases) {
    view.setOutputText(u"");
    std::u16string all;
    for (const auto& chunk : c.chunks) {
      view.appendOutput(chunk);
      all += chunk;
    }
    EXPECT_EQ(w->outputText(), all);
    EXPECT_EQ(memo->toPlainText(), c.shown);
  }
  view.setOutputText(u"fresh");
  EXPECT_EQ(memo->toPlainText(), "fresh");
  EXPECT_EQ(w->outputText(), u"fresh");
}

TEST_F(WindowTest, OutputScrollsToItsLastLine) {
  TestMachine machine({});
  auto w = open(machine);
  ASSERT_TRUE(w);
  auto* memo = control<QPlainTextEdit>(*w, "mmOutput");
  for (int i = 0; i < 200; ++i) static_cast<IMonitorControls&>(*w).appendOutput(u"line\r\n");
  QApplication::processEvents();
  EXPECT_GT(memo->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());
}

TEST_F(WindowTest, SaveWritesTheFieldsToTheFile) {
  TestMachine machine({"a"});
  machine.writeSettings(
      "<settings><repeat_period>7</repeat_period><conn_timeout>45</conn_timeout>"
      "<alerts><message><subject>Old</subject></message></alerts></settings>");
  auto w = open(machine);
  ASSERT_TRUE(w);
  const std::pair<const char*, const char*> edits[] = {{"edLogin", "alice"},
                                                       {"edPwd", "vpn pw"},
                                                       {"edSMTPHost", "smtp.example.org"},
                                                       {"edSMTPPort", "2525"},
                                                       {"edSMTPLogin", "bob"},
                                                       {"edSMTPPassword", "mail pw"},
                                                       {"edMsgFrom", "q@example.org"},
                                                       {"edMsgTo", "a@example.org, b@example.org"},
                                                       {"edMsgCC", "c@example.org"}};
  for (const auto& [name, text] : edits) control<QLineEdit>(*w, name)->setText(text);
  control<QCheckBox>(*w, "chbSSL")->setChecked(true);
  control<QPlainTextEdit>(*w, "mmMsgText")->setPlainText(QStringLiteral("<serverName> is down"));

  control<QPushButton>(*w, "btnSave")->click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Settings are saved.");
  EXPECT_EQ(boxes.boxes[0].title, "Quorvex");
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);

  TSettings saved(machine.settingsPath());
  saved.loadFromFile();
  EXPECT_EQ(saved.Username(), u"alice");
  EXPECT_EQ(saved.Password(), u"vpn pw");
  EXPECT_EQ(saved.SMTPHost(), u"smtp.example.org");
  EXPECT_EQ(saved.SMTPPort(), 2525);
  EXPECT_EQ(saved.SMTPLogin(), u"bob");
  EXPECT_EQ(saved.SMTPPassword(), u"mail pw");
  EXPECT_TRUE(saved.SMTPUseSSLTLS());
  EXPECT_EQ(saved.MsgFrom(), u"q@example.org");
  EXPECT_EQ(saved.MsgTo(), u"a@example.org, b@example.org");
  EXPECT_EQ(saved.MsgCC(), u"c@example.org");
  EXPECT_EQ(saved.MsgSubject(), u"<serverName> Down!");
  EXPECT_EQ(saved.MsgText(), u"<serverName> is down");
  EXPECT_EQ(saved.RepeatPeriod(), 7);
  EXPECT_EQ(saved.ConnectionTimeout(), 45);
}

TEST_F(WindowTest, EveryRowWithAControlNamesOneOfItsKind) {
  TestMachine machine({});
  auto w = open(machine);
  ASSERT_TRUE(w);
  for (const TFieldSpec& spec : fieldTable()) {
    SCOPED_TRACE(std::string(spec.path));
    if (spec.control.empty()) continue;
    QWidget* widget = w->findChild<QWidget*>(QString::fromLatin1(spec.control));
    ASSERT_TRUE(widget) << spec.control;
    if (spec.type == TOptionType::Boolean)
      EXPECT_TRUE(qobject_cast<QCheckBox*>(widget));
    else
      EXPECT_TRUE(qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget));
  }
}

// Load, fill, collect and save: the file comes back byte for byte.
TEST_F(WindowTest, SaveWritesBackTheBytesItRead) {
  const std::string files[] = {
      // Every field set, in the layout the window has always written.
      "<settings>\r\n"
      "  <username>alice</username>\r\n"
      "  <password>vpn&amp;pw</password>\r\n"
      "  <repeat_period>15</repeat_period>\r\n"
      "  <conn_timeout>60</conn_timeout>\r\n"
      "  <alerts>\r\n"
      "    <smtp_server>\r\n"
      "      <host>smtp.example.org</host>\r\n"
      "      <login>mailer</login>\r\n"
      "      <password>s3cret &lt;x&gt;</password>\r\n"
      "      <port>587</port>\r\n"
      "      <ssl_tls>true</ssl_tls>\r\n"
      "    </smtp_server>\r\n"
      "    <message>\r\n"
      "      <from>monitor@example.org</from>\r\n"
      "      <cc>ops@example.org</cc>\r\n"
      "      <subject>&lt;serverName&gt; Down!</subject>\r\n"
      "      <text>Check it\nline two \xC3\xA9\xE2\x82\xAC</text>\r\n"
      "      <to>admin@example.org, b@example.org</to>\r\n"
      "    </message>\r\n"
      "  </alerts>\r\n"
      "</settings>",
      // Empty values, a negative period, and options after the fields.
      "<settings>\r\n"
      "  <username></username>\r\n"
      "  <password></password>\r\n"
      "  <repeat_period>-3</repeat_period>\r\n"
      "  <conn_timeout>0</conn_timeout>\r\n"
      "  <alerts>\r\n"
      "    <smtp_server>\r\n"
      "      <host></host>\r\n"
      "      <login></login>\r\n"
      "      <password></password>\r\n"
      "      <port>0</port>\r\n"
      "      <ssl_tls>false</ssl_tls>\r\n"
      "    </smtp_server>\r\n"
      "    <message>\r\n"
      "      <from></from>\r\n"
      "      <cc></cc>\r\n"
      "      <subject>&lt;serverName&gt; Down!</subject>\r\n"
      "      <text></text>\r\n"
      "      <to></to>\r\n"
      "    </message>\r\n"
      "  </alerts>\r\n"
      "  <options>\r\n"
      "    <failure_threshold>3</failure_threshold>\r\n"
      "    <recovery_mail>true</recovery_mail>\r\n"
      "    <recovery_subject>&lt;serverName&gt; Up</recovery_subject>\r\n"
      "    <reminder_hours>0</reminder_hours>\r\n"
      "    <smtp_security>ssl_tls_box</smtp_security>\r\n"
      "    <verify_certificate>false</verify_certificate>\r\n"
      "    <ca_file></ca_file>\r\n"
      "    <full_tunnel>false</full_tunnel>\r\n"
      "  </options>\r\n"
      "</settings>",
  };
  for (const std::string& file : files) {
    TestMachine machine({"a"});
    machine.writeSettings(file);
    auto w = open(machine);
    ASSERT_TRUE(w);
    control<QPushButton>(*w, "btnSave")->click();
    EXPECT_EQ(readFile(toUtf8(machine.settingsPath())), file);
  }
}

TEST_F(WindowTest, SaveWithABadPortShowsTheErrorAndWritesNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"25x", "''25x'' is not a valid integer value."},
      {"", "'''' is not a valid integer value."},
      {"99999999999", "''99999999999'' is not a valid integer value."},
  };
  for (const auto& [port, message] : cases) {
    SCOPED_TRACE(port);
    TestMachine machine({});
    auto w = open(machine);
    ASSERT_TRUE(w);
    boxes.boxes.clear();
    control<QLineEdit>(*w, "edSMTPPort")->setText(port);
    control<QPushButton>(*w, "btnSave")->click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, message);
    EXPECT_EQ(boxes.boxes[0].title, "Quorvex");
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(QFile::exists(QString::fromStdU16String(machine.settingsPath())));
  }
}

TEST_F(WindowTest, TestMailReportsItsOutcome) {
  struct Case {
    std::u16string error;
    std::vector<std::pair<QMessageBox::Icon, const char*>> shown;
  };
  const Case cases[] = {
      {u"", {{QMessageBox::Information, "Test successful."}}},
      {u"Authentication failed", {{QMessageBox::Critical, "Authentication failed."}}},
      {u"Connection Closed Gracefully.",
       {{QMessageBox::Critical, "Connection Closed Gracefully."}}},
  };
  for (const Case& c : cases) {
    TestMachine machine({});
    auto w = open(machine);
    ASSERT_TRUE(w);
    boxes.boxes.clear();
    mail.sent.clear();
    mail.error = c.error;
    control<QLineEdit>(*w, "edSMTPHost")->setText(QStringLiteral("unsaved.example.org"));
    control<QLineEdit>(*w, "edSMTPPort")->setText(QStringLiteral("587"));
    control<QPushButton>(*w, "btnTestMail")->click();
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_TRUE(mail.sent[0].testMode);
    EXPECT_EQ(mail.sent[0].fields.SMTPHost, u"unsaved.example.org");
    EXPECT_EQ(mail.sent[0].fields.SMTPPort, u"587");
    ASSERT_EQ(boxes.boxes.size(), c.shown.size());
    for (size_t i = 0; i < c.shown.size(); ++i) {
      EXPECT_EQ(boxes.boxes[i].icon, c.shown[i].first);
      EXPECT_EQ(boxes.boxes[i].text, c.shown[i].second);
      EXPECT_EQ(boxes.boxes[i].title, "Quorvex");
    }
  }
}

// The Test button with the real mail, against scripted SMTP peers: the
// fields as typed (unsaved), the outcome in a box.
TEST_F(WindowTest, TestButtonSendsTheTestMail) {
  using quorvex::test::TScriptedSMTPPeer;
  using TScript = std::vector<std::string>;
  const TScript greeting = {"S:220 mail.test",
                            "C:*",
                            "S:250-mail.test",
                            "S:250 AUTH LOGIN",
                            "C:AUTH LOGIN",
                            "S:334 VXNlcm5hbWU6",
                            "C:Ym9i",  // bob
                            "S:334 UGFzc3dvcmQ6",
                            "C:cGFzcw=="};  // pass
  auto join = [](TScript a, const TScript& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* name;
    TScript script;
    QMessageBox::Icon icon;
    QString text;
  };
  const Case cases[] = {
      {"delivered",
       join(greeting, {"S:235 2.7.0 ok", "C:RSET", "S:250 OK", "C:MAIL FROM: <mon@example.test>",
                       "S:250 OK", "C:RCPT TO:<ops@example.test>", "S:250 OK", "C:DATA", "S:354 go",
                       "M:", "S:250 queued"}),
       QMessageBox::Information, QStringLiteral("Test successful.")},
      {"wrong password", join(greeting, {"S:535 5.7.8 Authentication credentials invalid"}),
       QMessageBox::Critical, QStringLiteral("Authentication credentials invalid\r\n")},
      // Accepts the connection and says nothing.
      {"silent server", {}, QMessageBox::Critical, QStringLiteral("Read timed out.")},
  };
  EXPECT_EQ(TfrmMainServices{}.mailWaits.ConnectTimeoutMs, 15000);
  EXPECT_EQ(TfrmMainServices{}.mailWaits.ReadTimeoutMs, 30000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestMachine machine({});
    TfrmMainServices services;
    services.processFactory = children.factory();
    services.mailWaits = {3000, 1000};
    auto w = createMainWindow(machine.settingsPath(), std::move(services)).window;
    ASSERT_TRUE(w);
    w->show();
    boxes.boxes.clear();
    TScriptedSMTPPeer peer(c.script);
    const std::pair<const char*, QString> typed[] = {
        {"edSMTPHost", QStringLiteral("127.0.0.1")},
        {"edSMTPPort", QString::number(peer.Port())},
        {"edSMTPLogin", QStringLiteral("bob")},
        {"edSMTPPassword", QStringLiteral("pass")},
        {"edMsgFrom", QStringLiteral("mon@example.test")},
        {"edMsgTo", QStringLiteral("ops@example.test")}};
    for (const auto& [name, text] : typed) control<QLineEdit>(*w, name)->setText(text);
    control<QPlainTextEdit>(*w, "mmMsgText")->setPlainText(QStringLiteral("<serverName> is down"));
    const auto started = std::chrono::steady_clock::now();
    control<QPushButton>(*w, "btnTestMail")->click();
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(peer.Finish(), "");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, c.icon);
    EXPECT_EQ(boxes.boxes[0].text, c.text);
    if (c.script.empty()) {
      EXPECT_GE(took, std::chrono::milliseconds(900));  // the box came after the bound
    }
    if (!peer.Messages().empty()) {
      const auto& lines = peer.Messages()[0];
      EXPECT_THAT(lines, ::testing::Contains("Subject: Quorvex SMTP Test"));
      EXPECT_THAT(lines, ::testing::Contains("<serverName> is down"));
    }
  }
}

// A mail server that takes the connection and says nothing holds the alert
// for its read time-out, but not the window: ticks and clicks go on.
TEST_F(WindowTest, AnAlertWaitingOnASilentMailServerHoldsUpNeitherTicksNorClicks) {
  TestMachine machine({"down", "slow"});
  children.scripts[u"down.ovpn"] = exitingChild();
  children.scripts[u"slow.ovpn"] = silentChild();
  // Listens and never accepts: the system completes the connection, and
  // nobody answers it.
  const TUniqueFd silent = LoopbackSocket();
  TfrmMainServices services;
  services.processFactory = children.factory();
  services.mailWaits = {3000, 3000};
  auto w = createMainWindow(machine.settingsPath(), std::move(services)).window;
  ASSERT_TRUE(w);
  w->show();
  const std::pair<const char*, QString> typed[] = {
      {"edSMTPHost", QStringLiteral("127.0.0.1")},
      {"edSMTPPort", QString::number(LocalPort(silent.get()))},
      {"edMsgFrom", QStringLiteral("mon@example.test")},
      {"edMsgTo", QStringLiteral("ops@example.test")}};
  for (const auto& [name, text] : typed) control<QLineEdit>(*w, name)->setText(text);

  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return rowText(*w, "down", 1) == "Failed"; }));
  // Within a second of the verdict, while the alert waits: the next test's
  // child is read tick after tick, and Stop is handled.
  ASSERT_TRUE(waitFor([&] { return children.of(u"slow.ovpn").readCount >= 2; }, 1000));
  control<QPushButton>(*w, "btnStop")->click();
  EXPECT_EQ(rowText(*w, "slow", 1), "Interrupted");
  EXPECT_TRUE(children.of(u"slow.ovpn").released);
  EXPECT_FALSE(outputShows(*w, "alert for down"));
  // The outcome shows once the silence has lasted the read time-out.
  EXPECT_TRUE(
      waitFor([&] { return outputShows(*w, "alert for down not sent: Read timed out"); }, 10000))
      << control<QPlainTextEdit>(*w, "mmOutput")->toPlainText().toStdString();
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(WindowTest, TicksGoOnUnderAnOpenBox) {
  TestMachine machine({"slow"});
  children.scripts[u"slow.ovpn"] = silentChild();
  auto reads = [&] { return children.of(u"slow.ovpn").readCount; };
  mail.error = u"Connection refused";
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return reads() > 0; }));
  int readsWhenOpened = -1;
  boxes.closeWhen = [&] {
    if (readsWhenOpened < 0) readsWhenOpened = reads();
    return reads() >= readsWhenOpened + 3;
  };
  control<QPushButton>(*w, "btnTestMail")->click();  // returns once the box is closed
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Connection refused.");
  EXPECT_GE(reads(), readsWhenOpened + 3);
  control<QPushButton>(*w, "btnStop")->click();
}

TEST_F(WindowTest, AnErrorInATickShowsOneBoxWhileTicksGoOn) {
  TestMachine machine({"flaky"});
  bool readsFail = true;
  children.scripts[u"flaky.ovpn"] = {.readFails = [&](int) { return readsFail; }};
  auto reads = [&] { return children.of(u"flaky.ovpn").readCount; };
  auto w = open(machine);
  ASSERT_TRUE(w);
  int readsWhenOpened = -1;
  boxes.closeWhen = [&] {
    if (readsWhenOpened < 0) readsWhenOpened = reads();
    if (reads() < readsWhenOpened + 3) return false;
    readsFail = false;
    return true;
  };
  control<QPushButton>(*w, "btnStart")->click();
  ASSERT_TRUE(waitFor([&] { return !boxes.boxes.empty() && !boxes.openBox(); }));
  EXPECT_GE(reads(), readsWhenOpened + 3);
  EXPECT_EQ(boxes.boxes.size(), 1u);  // the failing ticks under it added none
  EXPECT_EQ(boxes.boxes[0].text, "Read error on the terminal.");
  EXPECT_EQ(boxes.boxes[0].title, "Quorvex");
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
  control<QPushButton>(*w, "btnStop")->click();
}

TEST_F(WindowTest, SaveThatCannotWriteShowsTheErrorOnly) {
  TestMachine machine({});
  QDir().mkpath(QString::fromStdU16String(machine.settingsPath()));  // a folder in its place
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QPushButton>(*w, "btnSave")->click();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("settings.xml")))
      << boxes.boxes[0].text.toStdString();
}

// A stand-in for openvpn found on PATH, so the window's default factory
// starts a real child on a real terminal.
class ScriptedOpenVPN {
 public:
  explicit ScriptedOpenVPN(const std::string& body) : _oldPath(std::getenv("PATH")) {
    const QString script = _dir.filePath(QStringLiteral("openvpn"));
    std::ofstream(script.toStdString()) << "#!/bin/sh\n" << body;
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("PATH", (_dir.path().toStdString() + ":" + _oldPath).c_str(), 1);
  }
  ~ScriptedOpenVPN() { setenv("PATH", _oldPath.c_str(), 1); }
  QString pidFile() const { return _dir.filePath(QStringLiteral("pid")); }

 private:
  QTemporaryDir _dir;
  std::string _oldPath;
};

bool processExists(pid_t pid) { return kill(pid, 0) == 0; }

TEST_F(WindowTest, ARealChildIsAnsweredAndEndsWithTheWindow) {
  TestMachine machine({"office"});
  ScriptedOpenVPN openvpn(
      "echo $$ > \"$(dirname \"$0\")/pid\"\n"
      "printf 'Enter Auth Username:'; read user\n"
      "printf 'Enter Auth Password:'; read pw\n"
      "echo \"login $user\"\n"
      "exec sleep 600\n");
  TWindowStartUp startUp = createMainWindow(machine.settingsPath(), {});  // default factory
  ASSERT_TRUE(startUp.window);
  TfrmMain& w = *startUp.window;
  control<QLineEdit>(w, "edLogin")->setText(QStringLiteral("alice"));
  control<QLineEdit>(w, "edPwd")->setText(QStringLiteral("s3cret"));
  control<QPushButton>(w, "btnStart")->click();
  auto* memo = control<QPlainTextEdit>(w, "mmOutput");
  ASSERT_TRUE(waitFor([&] { return memo->toPlainText().contains(QStringLiteral("login alice")); }))
      << memo->toPlainText().toStdString();
  EXPECT_FALSE(memo->toPlainText().contains(QStringLiteral("s3cret")));
  EXPECT_EQ(rowText(w, "office", 1), "Running");

  QFile pidFile(openvpn.pidFile());
  ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
  const pid_t pid = pidFile.readAll().trimmed().toInt();
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(processExists(pid));
  startUp.window.reset();
  EXPECT_FALSE(processExists(pid));  // terminated and reaped, no zombie left
}

// Receives what the window asks the desktop to open.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

TEST_F(WindowTest, ManualOpensTheShippedPdf) {
  TestMachine machine({});
  auto w = open(machine);
  ASSERT_TRUE(w);
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
  control<QPushButton>(*w, "btnManual")->click();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_TRUE(boxes.boxes.empty());
  ASSERT_EQ(recorder.urls.size(), 1);
  const QString path = recorder.urls[0].toLocalFile();
  EXPECT_TRUE(path.endsWith(QStringLiteral("/quorvex.pdf")));
  QFile pdf(path);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
}

}  // namespace
}  // namespace quorvex::test

#include "main_window_test.moc"
