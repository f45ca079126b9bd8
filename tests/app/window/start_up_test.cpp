#include "app/window/window_start_up.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>

#include "platform/registry.h"
#include "window_test_support.h"

#include "support/no_openvpn.h"

namespace quorvex::test {
namespace {

class StartUpTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_FALSE(boxes.overdue); }
  BoxAnswerer boxes;
};

TEST_F(StartUpTest, WithoutOpenVPNShowsTheErrorAndEnds) {
  TestMachine machine({"a"});
  const NoOpenVPN registry;
  TWindowStartUp startUp = createMainWindow(machine.settingsPath(), {}, &registry);
  EXPECT_FALSE(startUp.window);
  EXPECT_EQ(startUp.exitCode, 1);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].title, "Quorvex");
  EXPECT_EQ(boxes.boxes[0].text, "OpenVPN not found on this computer.");
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
}

TEST_F(StartUpTest, AConfigurationThatCannotBeReadIsARowAndTheRestAreShown) {
  TestMachine machine({"a"});
  const QString broken = machine.configDir() + QStringLiteral("/broken.ovpn");
  ASSERT_EQ(symlink("/nonexistent/target.ovpn", broken.toLocal8Bit().constData()), 0);
  TWindowStartUp startUp = createMainWindow(machine.settingsPath(), {});
  ASSERT_TRUE(startUp.window);
  EXPECT_EQ(startUp.exitCode, 0);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(rowText(*startUp.window, "a", 1), "Not Run");
  EXPECT_EQ(rowText(*startUp.window, "broken", 1), "Not Run");
}

TEST_F(StartUpTest, TheOutputSaysWhatStartUpFoundWrong) {
  TestMachine machine({});
  machine.writeSettings("<settings>\n  <conn_timeout>x</conn_timeout>\n</settings>");
  TWindowStartUp startUp = createMainWindow(machine.settingsPath(), {});
  ASSERT_TRUE(startUp.window);
  EXPECT_TRUE(boxes.boxes.empty());
  const QString output = control<QPlainTextEdit>(*startUp.window, "mmOutput")->toPlainText();
  EXPECT_TRUE(
      output.contains(QStringLiteral("is damaged at line 2, element <conn_timeout>: ''x'' "
                                     "is not a valid integer value.")))
      << output.toStdString();
  EXPECT_TRUE(output.contains(QStringLiteral("No client configurations in \"") +
                              machine.configDir() + u'"'))
      << output.toStdString();
}

TEST(NoDisplay, TheProgramPointsToHeadlessAndExitsWith3) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    env.remove(QString::fromLatin1(name));
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(QUORVEX_BINARY_DIR "/quorvex"), {});
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 3);
  const QByteArray err = program.readAllStandardError();
  EXPECT_EQ(err, QByteArray(kNoDisplayMessage) + "\n");
  EXPECT_TRUE(err.contains("--headless"));
}

}  // namespace
}  // namespace quorvex::test
