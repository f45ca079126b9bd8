#include "app/window/window_start_up.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include "platform/registry.h"
#include "window_test_support.h"

namespace quorvex::test {
namespace {

class NoOpenVPN final : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> openLocalMachineKey(std::u16string_view,
                                                    TRegistryAccess) const override {
    return nullptr;
  }
};

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

TEST_F(StartUpTest, AConfigurationThatCannotBeReadEndsWithAnApplicationError) {
  TestMachine machine({"a"});
  const QString broken = machine.configDir() + QStringLiteral("/broken.ovpn");
  ASSERT_EQ(symlink("/nonexistent/target.ovpn", broken.toLocal8Bit().constData()), 0);
  TWindowStartUp startUp = createMainWindow(machine.settingsPath(), {});
  EXPECT_FALSE(startUp.window);
  EXPECT_EQ(startUp.exitCode, 1);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].title, "Application Error");
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
  const QString text = boxes.boxes[0].text;
  EXPECT_TRUE(text.startsWith(QStringLiteral("Exception EFileError in module test_window at ")))
      << text.toStdString();
  const qsizetype lineBreak = text.indexOf(u'\n');
  ASSERT_GT(lineBreak, 0);
  EXPECT_TRUE(text.left(lineBreak).endsWith(u'.'));
  EXPECT_TRUE(text.mid(lineBreak + 1).contains(QStringLiteral("broken.ovpn")))
      << text.toStdString();
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
