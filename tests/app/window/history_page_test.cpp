// The History page: the report's table and a strip of each server's last 24
// hours, filled from the window's own results; and the window's history
// trouble, said in the output without stopping it.
#include <gtest/gtest.h>

#include <fstream>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/window/history_page.h"
#include "app/window/window_start_up.h"
#include "support/cycle_fakes.h"
#include "support/temp_folder.h"
#include "window_test_support.h"

namespace quorvex::test {
namespace {

class HistoryPageTest : public ::testing::Test {
 protected:
  std::unique_ptr<TfrmMain> open(const TestMachine& machine,
                                 std::optional<std::u16string> history) {
    TfrmMainServices services;
    services.processFactory = children.factory();
    services.sendMail = [](const TAlertMailFields&, bool, const std::u16string&,
                           const std::u16string&) {};
    services.historyFile = std::move(history);
    if (services.historyFile) services.statusPage = folder.u16path("status.html");
    TWindowStartUp startUp = createMainWindow(machine.settingsPath(), std::move(services));
    EXPECT_TRUE(startUp.window);
    if (startUp.window) startUp.window->show();
    return std::move(startUp.window);
  }
  void runOnce(TfrmMain& w) {
    control<QPushButton>(w, "btnStart")->click();
    ASSERT_TRUE(waitFor([&] {
      return control<QPushButton>(w, "btnStart")->isEnabled() &&
             !control<QTimer>(w, "tmrTest")->isActive();
    }));
  }

  TempFolder folder{"quorvex-window-history"};
  BoxAnswerer boxes;
  // A server without a script never starts.
  TFakeChildren children{.unscripted = {.runThrows = true}};
};

TEST_F(HistoryPageTest, ShowsTheFiguresAndTheStripAfterEachRun) {
  TestMachine machine({"up", "down"});
  children.scripts[u"up.ovpn"] = connectingChild();
  children.scripts[u"down.ovpn"] = exitingChild();
  auto w = open(machine, folder.u16path("history.sqlite"));
  ASSERT_TRUE(w);
  auto* list = control<QTreeWidget>(*w, "lvHistory");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->topLevelItemCount(), 0);  // no result yet
  runOnce(*w);

  ASSERT_EQ(list->topLevelItemCount(), 2);
  const struct {
    const char *server, *uptime, *outages, *last;
    QColor lastHour;
  } rows[] = {{"down", "0.00%", "1", "Failed (configuration error)", QColor(0xcf, 0x22, 0x2e)},
              {"up", "100.00%", "0", "Successful", QColor(0x1a, 0x7f, 0x37)}};
  auto* page = control<THistoryPage>(*w, "tsHistory");
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(rows[i].server);
    const QTreeWidgetItem* item = list->topLevelItem(i);
    EXPECT_EQ(item->text(0), rows[i].server);
    EXPECT_EQ(item->text(1), rows[i].uptime);
    EXPECT_EQ(item->text(4), rows[i].outages);
    EXPECT_EQ(item->text(8), rows[i].last);
    const std::vector<QColor> strip = page->stripColours(i);
    ASSERT_EQ(strip.size(), 24u);
    EXPECT_EQ(strip.back(), rows[i].lastHour);
    EXPECT_EQ(strip.front(), QColor(0xd1, 0xd9, 0xe0));  // no test a day ago
  }
  std::ifstream statusPage(folder / "status.html");
  EXPECT_TRUE(statusPage.good()) << "the status page is written after each result";
}

TEST_F(HistoryPageTest, ADamagedFileIsSaidInTheOutputAndANewOneKeepsTheResults) {
  TestMachine machine({"up"});
  children.scripts[u"up.ovpn"] = connectingChild();
  folder.write("history.sqlite", std::string(8192, 'x'));
  auto w = open(machine, folder.u16path("history.sqlite"));
  ASSERT_TRUE(w);
  EXPECT_TRUE(control<QPlainTextEdit>(*w, "mmOutput")
                  ->toPlainText()
                  .contains(QStringLiteral("is damaged; it is kept as ")));
  runOnce(*w);
  EXPECT_EQ(control<QTreeWidget>(*w, "lvHistory")->topLevelItemCount(), 1);
}

TEST_F(HistoryPageTest, WithoutHistoryThePageSaysSo) {
  TestMachine machine({"up"});
  children.scripts[u"up.ovpn"] = connectingChild();
  auto w = open(machine, std::nullopt);
  ASSERT_TRUE(w);
  runOnce(*w);
  EXPECT_EQ(control<QLabel>(*w, "lblHistory")->text(), "No history is kept (--history none).");
  EXPECT_EQ(control<QTreeWidget>(*w, "lvHistory")->topLevelItemCount(), 0);
}

}  // namespace
}  // namespace quorvex::test
