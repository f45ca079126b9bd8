#include "app/window/options_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include "settings/value_text.h"

namespace quorvex {

namespace {

QString qs(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
std::u16string us(const QString& text) { return text.toStdU16String(); }

QWidget* makeControl(const TOptionSpec& spec, QWidget* parent) {
  switch (spec.type) {
    case TOptionType::Boolean: {
      auto* box = new QCheckBox(qs(spec.caption), parent);
      return box;
    }
    case TOptionType::Integer: {
      auto* box = new QSpinBox(parent);
      box->setRange(spec.minimum, spec.maximum);
      return box;
    }
    case TOptionType::Text: {
      auto* edit = new QLineEdit(parent);
      if (spec.secret) edit->setEchoMode(QLineEdit::Password);
      return edit;
    }
    case TOptionType::Choice: {
      auto* list = new QComboBox(parent);
      for (const TOptionChoice& choice : spec.choices)
        list->addItem(qs(choice.caption), qs(choice.value));
      return list;
    }
  }
  return nullptr;
}

}  // namespace

TOptionsPage::TOptionsPage(QWidget* parent) : QWidget(parent) {
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* content = new QWidget;
  auto* rows = new QVBoxLayout(content);
  rows->setContentsMargins(30, 16, 30, 16);
  for (const TOptionSpec& spec : optionTable()) {
    QWidget* control = makeControl(spec, content);
    control->setObjectName(QStringLiteral("opt_") +
                           QString::fromLatin1(spec.element.data(), spec.element.size()));
    control->setToolTip(qs(spec.help));
    if (spec.type == TOptionType::Boolean) {
      rows->addWidget(control);
    } else {
      auto* line = new QHBoxLayout;
      auto* caption = new QLabel(qs(spec.caption), content);
      caption->setBuddy(control);
      line->addWidget(caption);
      line->addWidget(control, 1);
      rows->addLayout(line);
    }
    auto* help = new QLabel(qs(spec.help), content);
    help->setWordWrap(true);
    help->setEnabled(false);  // drawn in the muted colour of a hint
    rows->addWidget(help);
    rows->addSpacing(6);
    _controls.push_back(control);
  }
  rows->addStretch(1);
  scroll->setWidget(content);
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 40);  // room for the Save button below
  page->addWidget(scroll);
}

void TOptionsPage::showOptions(const TOptions& options) {
  for (const TOptionSpec& spec : optionTable()) {
    QWidget* control = _controls[static_cast<size_t>(spec.id)];
    const QString text = qs(options.Text(spec.id));
    switch (spec.type) {
      case TOptionType::Boolean:
        static_cast<QCheckBox*>(control)->setChecked(options.Boolean(spec.id));
        break;
      case TOptionType::Integer:
        static_cast<QSpinBox*>(control)->setValue(options.Integer(spec.id));
        break;
      case TOptionType::Text:
        static_cast<QLineEdit*>(control)->setText(text);
        break;
      case TOptionType::Choice: {
        auto* list = static_cast<QComboBox*>(control);
        list->setCurrentIndex(list->findData(text));
        break;
      }
    }
  }
}

TOptions TOptionsPage::options() const {
  TOptions options;
  for (const TOptionSpec& spec : optionTable()) {
    const QWidget* control = _controls[static_cast<size_t>(spec.id)];
    switch (spec.type) {
      case TOptionType::Boolean:
        options.SetText(spec.id, boolToText(static_cast<const QCheckBox*>(control)->isChecked()));
        break;
      case TOptionType::Integer:
        options.SetText(spec.id, int32ToText(static_cast<const QSpinBox*>(control)->value()));
        break;
      case TOptionType::Text:
        options.SetText(spec.id, us(static_cast<const QLineEdit*>(control)->text()));
        break;
      case TOptionType::Choice:
        options.SetText(spec.id,
                        us(static_cast<const QComboBox*>(control)->currentData().toString()));
        break;
    }
  }
  return options;
}

}  // namespace quorvex
