#include "app/window/notifications_page.h"

#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "alerts/notifier.h"
#include "platform/text.h"
#include "platform/text_encoding.h"
#include "process/split_command_line.h"
#include "web/https_client.h"

namespace quorvex {

namespace {

QString qs(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

enum TColumn { kName, kKind, kEvents, kTarget, kTest, kLastTest, kColumns };

// Where a notifier sends to, without its secrets: the host, or the program.
std::u16string target(const TNotifierConfig& n) {
  if (n.kind != TNotifierKind::Command) return fromUtf8(urlHost(toUtf8(Trim(n.url))));
  const auto args = splitCommandLine(n.command);
  return args.empty() ? u"" : EscapeControls(args.front());
}

}  // namespace

TNotificationsPage::TNotificationsPage(QWidget* parent) : QWidget(parent) {
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(16, 16, 16, 16);
  lblWhere = new QLabel(this);
  lblWhere->setObjectName(QStringLiteral("lblNotifiers"));
  lblWhere->setWordWrap(true);
  rows->addWidget(lblWhere);
  lvNotifiers = new QTreeWidget(this);
  lvNotifiers->setObjectName(QStringLiteral("lvNotifiers"));
  lvNotifiers->setRootIsDecorated(false);
  lvNotifiers->setColumnCount(kColumns);
  lvNotifiers->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Kind"),
                                QStringLiteral("Events"), QStringLiteral("Sends to"), QString(),
                                QStringLiteral("Last test")});
  lvNotifiers->header()->setStretchLastSection(true);
  rows->addWidget(lvNotifiers, 1);
}

TNotificationsPage::~TNotificationsPage() = default;  // the jthreads join

void TNotificationsPage::showNotifiers(const std::vector<TNotifierConfig>& notifiers,
                                       const std::u16string& settingsFile) {
  _notifiers = notifiers;
  _buttons.clear();
  lvNotifiers->clear();
  lblWhere->setText(
      qs(std::u16string(notifiers.empty() ? u"No notifier is set up. " : u"") +
         u"Notifications go to chat and push services or a program besides the alert mail. "
         u"They are set in the element <notifiers> of " +
         settingsFile + u" (the manual shows one example for each kind)."));
  for (size_t i = 0; i < notifiers.size(); ++i) {
    const TNotifierConfig& n = notifiers[i];
    auto* row = new QTreeWidgetItem(lvNotifiers);
    row->setText(kName, qs(EscapeControls(n.name)));
    row->setText(kKind, qs(kindWord(n.kind)));
    row->setText(kEvents, qs(n.events.text()));
    row->setText(kTarget, qs(target(n)));
    auto* test = new QPushButton(QStringLiteral("Test"));
    test->setObjectName(QStringLiteral("btnTestNotify%1").arg(i));
    connect(test, &QPushButton::clicked, this, [this, i] { testClicked(i); });
    lvNotifiers->setItemWidget(row, kTest, test);
    _buttons.push_back(test);
  }
  for (int c = 0; c < kLastTest; ++c) lvNotifiers->resizeColumnToContents(c);
}

void TNotificationsPage::testClicked(size_t index) {
  _buttons.at(index)->setEnabled(false);
  lvNotifiers->topLevelItem(static_cast<int>(index))
      ->setText(kLastTest, QStringLiteral("sending…"));
  ++_running;
  // Off the window's thread: a slow service must not hold the window, nor
  // the tests of the servers.
  _tests.emplace_back([this, index, notifier = _notifiers.at(index), limits = _limits] {
    const TNotificationFacts facts = testNotificationFacts(TClock::System());
    std::u16string outcome;
    bool sent = false;
    try {
      sendNotification(notifier, facts, limits);
      outcome = u"sent at " + facts.localTime.substr(facts.localTime.find(u' ') + 1);
      sent = true;
    } catch (const std::exception& e) {
      const auto* error = dynamic_cast<const Exception*>(&e);
      outcome = u"not sent: " + (error ? error->Message() : fromUtf8(e.what()));
    }
    QMetaObject::invokeMethod(
        this, [this, index, outcome, sent] { testDone(index, outcome, sent); },
        Qt::QueuedConnection);
  });
}

void TNotificationsPage::testDone(size_t index, const std::u16string& outcome, bool sent) {
  --_running;
  // The list may have been filled again meanwhile.
  if (index >= _buttons.size()) return;
  _buttons[index]->setEnabled(true);
  QTreeWidgetItem* row = lvNotifiers->topLevelItem(static_cast<int>(index));
  row->setText(kLastTest, qs(outcome));
  row->setToolTip(kLastTest, qs(outcome));
  row->setForeground(kLastTest, sent ? QColor(0, 128, 0) : QColor(255, 0, 0));
}

}  // namespace quorvex
