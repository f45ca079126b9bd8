// The Options page: built from the option table, filled from the settings,
// saved with them, and used by the Test button before it is saved; values
// that others store while the window is open are not written back stale.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include "alerts/oauth.h"
#include "app/window/window_start_up.h"
#include "platform/exception.h"
#include "settings/settings.h"
#include "support/cycle_fakes.h"
#include "support/temp_folder.h"
#include "window_test_support.h"

namespace quorvex::test {
namespace {

QString controlName(const TOptionSpec& spec) {
  return QStringLiteral("opt_") + QString::fromLatin1(spec.element.data(), spec.element.size());
}

class OptionsPageTest : public ::testing::Test {
 protected:
  std::unique_ptr<TfrmMain> open(const TestMachine& machine) {
    TfrmMainServices services;
    services.processFactory = children.factory();
    services.sendMail = [this](const TAlertMailFields& fields, bool testMode, const std::u16string&,
                               const std::u16string&) {
      if (testMode) tested.push_back(fields.Options);
    };
    TWindowStartUp startUp = createMainWindow(machine.settingsPath(), std::move(services));
    EXPECT_TRUE(startUp.window);
    if (startUp.window) startUp.window->show();
    return std::move(startUp.window);
  }
  void TearDown() override { EXPECT_FALSE(boxes.overdue); }

  BoxAnswerer boxes;
  // A server without a script never starts.
  TFakeChildren children{.unscripted = {.runThrows = true}};
  std::vector<TOptions> tested;
};

TEST_F(OptionsPageTest, OneControlPerOptionFilledFromTheFile) {
  TestMachine machine({"a"});
  machine.writeSettings(
      "<settings><options><failure_threshold>3</failure_threshold>"
      "<recovery_mail>true</recovery_mail><smtp_security>implicit_tls</smtp_security>"
      "<ca_file>/etc/ssl/own ca.pem</ca_file></options></settings>");
  auto w = open(machine);
  ASSERT_TRUE(w);
  auto* pcMain = control<QTabWidget>(*w, "pcMain");
  ASSERT_EQ(pcMain->indexOf(control<QWidget>(*w, "tsOptions")), 2);
  EXPECT_EQ(pcMain->tabText(2), "Options");
  for (const TOptionSpec& spec : optionTable()) {
    SCOPED_TRACE(spec.element);
    auto* widget = w->findChild<QWidget*>(controlName(spec));
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget->toolTip().toStdU16String(), spec.help);
  }
  EXPECT_EQ(w->findChild<QSpinBox*>("opt_failure_threshold")->value(), 3);
  EXPECT_EQ(w->findChild<QSpinBox*>("opt_failure_threshold")->minimum(), 1);
  EXPECT_TRUE(w->findChild<QCheckBox*>("opt_recovery_mail")->isChecked());
  EXPECT_EQ(w->findChild<QLineEdit*>("opt_recovery_subject")->text(), "<serverName> Up");
  EXPECT_EQ(w->findChild<QComboBox*>("opt_smtp_security")->currentData().toString(),
            "implicit_tls");
  EXPECT_EQ(w->findChild<QLineEdit*>("opt_ca_file")->text(), "/etc/ssl/own ca.pem");
  EXPECT_FALSE(w->findChild<QCheckBox*>("opt_full_tunnel")->isChecked());
  // The full tunnel's help warns that routes change.
  bool warned = false;
  for (auto* label : control<QWidget>(*w, "tsOptions")->findChildren<QLabel*>())
    warned |= label->text().contains("the machine's routes change during each test");
  EXPECT_TRUE(warned);
}

TEST_F(OptionsPageTest, SaveWritesTheOptionsAndDefaultsKeepTheOldLayout) {
  TestMachine machine({"a"});
  auto w = open(machine);
  ASSERT_TRUE(w);
  control<QPushButton>(*w, "btnSaveOptions")->click();
  const std::string path = toUtf8(machine.settingsPath());
  EXPECT_EQ(test::readFile(path).find("<options>"), std::string::npos);

  w->findChild<QSpinBox*>("opt_reminder_hours")->setValue(6);
  w->findChild<QCheckBox*>("opt_full_tunnel")->setChecked(true);
  control<QPushButton>(*w, "btnSave")->click();  // the Alerts page's Save saves them too
  TSettings saved(machine.settingsPath());
  saved.loadFromFile();
  EXPECT_EQ(saved.Options().Integer(TOptionId::ReminderHours), 6);
  EXPECT_TRUE(saved.Options().Boolean(TOptionId::FullTunnel));
  EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(OptionsPageTest, TestButtonUsesTheOptionsAsShownUnsaved) {
  TestMachine machine({"a"});
  auto w = open(machine);
  ASSERT_TRUE(w);
  auto* security = w->findChild<QComboBox*>("opt_smtp_security");
  security->setCurrentIndex(security->findData("require_starttls"));
  w->findChild<QCheckBox*>("opt_verify_certificate")->setChecked(true);
  control<QPushButton>(*w, "btnTestMail")->click();
  ASSERT_EQ(tested.size(), 1u);
  EXPECT_EQ(tested[0].Text(TOptionId::SMTPSecurity), u"require_starttls");
  EXPECT_TRUE(tested[0].Boolean(TOptionId::VerifyCertificate));
  TSettings saved(machine.settingsPath());
  EXPECT_THROW(saved.loadFromFile(), EFileError);  // nothing was saved
}

// --oauth-login, or the provider replacing the refresh token during a mail,
// writes the file while the window is open; Save and the next mail take the
// new token, unless the token was typed on the Options page.
TEST_F(OptionsPageTest, ATokenStoredWhileTheWindowIsOpenIsNotWrittenBackStale) {
  const struct {
    const char* typed;  // into the token's control before Save; null: left alone
    std::u16string saved;
  } cases[] = {
      {nullptr, u"rotated-token"},
      {"typed-token", u"typed-token"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed ? c.typed : "left alone");
    TestMachine machine({"a"});
    machine.writeSettings(
        "<settings><options><oauth_provider>microsoft</oauth_provider>"
        "<oauth_refresh_token>old-token</oauth_refresh_token></options></settings>");
    auto w = open(machine);
    ASSERT_TRUE(w);
    auto* token = w->findChild<QLineEdit*>(QStringLiteral("opt_oauth_refresh_token"));
    ASSERT_TRUE(token);
    ASSERT_EQ(token->text(), "old-token");
    storeOAuthOptions(machine.settingsPath(), [](TOptions& stored) {
      stored.SetText(TOptionId::OAuthRefreshToken, u"rotated-token");
    });
    if (c.typed) token->setText(QString::fromLatin1(c.typed));
    control<QLineEdit>(*w, "edSMTPHost")->setText(QStringLiteral("smtp.example.org"));

    control<QPushButton>(*w, "btnTestMail")->click();
    ASSERT_EQ(tested.size(), 1u);
    EXPECT_EQ(tested[0].Text(TOptionId::OAuthRefreshToken), c.saved);
    tested.clear();

    control<QPushButton>(*w, "btnSave")->click();
    TSettings saved(machine.settingsPath());
    saved.loadFromFile();
    EXPECT_EQ(saved.Options().Text(TOptionId::OAuthRefreshToken), c.saved);
    EXPECT_EQ(saved.Options().Text(TOptionId::OAuthProvider), u"microsoft");
    EXPECT_EQ(saved.SMTPHost(), u"smtp.example.org");
    EXPECT_EQ(token->text().toStdU16String(), c.saved);
  }
}

}  // namespace
}  // namespace quorvex::test
