#include "app/window/history_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "history/history_report.h"

namespace quorvex {

namespace {

constexpr int kCellsRole = Qt::UserRole + 1;

QColor cellColour(const THistoryCell& cell) {
  if (cell.up + cell.down == 0) return QColor(0xd1, 0xd9, 0xe0);
  if (cell.down == 0) return QColor(0x1a, 0x7f, 0x37);
  if (cell.up == 0) return QColor(0xcf, 0x22, 0x2e);
  return QColor(0xbf, 0x87, 0x00);
}

// Paints the strip column from the colours kept in the item.
class TStripDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QVariantList cells = index.data(kCellsRole).toList();
    if (cells.isEmpty()) return;
    const QRect area = option.rect.adjusted(2, 3, -2, -3);
    const double width = static_cast<double>(area.width()) / cells.size();
    painter->save();
    for (int i = 0; i < cells.size(); ++i) {
      const QRectF cell(area.left() + i * width, area.top(), std::max(1.0, width - 1),
                        area.height());
      painter->fillRect(cell, cells[i].value<QColor>());
    }
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(std::max(size.width(), 24 * 4));
    return size;
  }
};

}  // namespace

THistoryPage::THistoryPage(QWidget* parent)
    : QWidget(parent), _list(new QTreeWidget), _message(new QLabel) {
  auto* layout = new QVBoxLayout(this);
  _list->setObjectName(QStringLiteral("lvHistory"));
  _list->setRootIsDecorated(false);
  _list->setUniformRowHeights(true);
  _list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  _list->setHeaderLabels({QStringLiteral("Server"), QStringLiteral("24 h"), QStringLiteral("7 d"),
                          QStringLiteral("30 d"), QStringLiteral("Outages"),
                          QStringLiteral("Longest"), QStringLiteral("Median"),
                          QStringLiteral("p95"), QStringLiteral("Last result"),
                          QStringLiteral("Last 24 hours")});
  _list->setItemDelegateForColumn(kStripColumn, new TStripDelegate(_list));
  _list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  _message->setObjectName(QStringLiteral("lblHistory"));
  _message->setWordWrap(true);
  _message->hide();
  layout->addWidget(_message);
  layout->addWidget(_list);
}

void THistoryPage::showFigures(const std::vector<TServerFigures>& figures) {
  _message->hide();
  _list->clear();
  for (const TServerFigures& f : figures) {
    auto* item = new QTreeWidgetItem(_list);
    const std::string texts[] = {
        shownServerName(f.server),     percentText(f.uptime24h),     percentText(f.uptime7d),
        percentText(f.uptime30d),      std::to_string(f.outages30d), spanText(f.longestOutageMs),
        secondsText(f.connectMedianS), secondsText(f.connectP95S),   lastResultText(f)};
    for (int column = 0; column < static_cast<int>(std::size(texts)); ++column)
      item->setText(column, QString::fromStdString(texts[column]));
    if (f.lastTimeMs)
      item->setToolTip(kStripColumn - 1, QString::fromStdString(utcText(*f.lastTimeMs)));
    QVariantList cells;
    for (const THistoryCell& cell : f.hours) cells.append(cellColour(cell));
    item->setData(kStripColumn, kCellsRole, cells);
  }
}

void THistoryPage::showMessage(const QString& text) {
  _list->clear();
  _message->setText(text);
  _message->show();
}

std::vector<QColor> THistoryPage::stripColours(int row) const {
  std::vector<QColor> colours;
  if (const QTreeWidgetItem* item = _list->topLevelItem(row))
    for (const QVariant& cell : item->data(kStripColumn, kCellsRole).toList())
      colours.push_back(cell.value<QColor>());
  return colours;
}

}  // namespace quorvex
