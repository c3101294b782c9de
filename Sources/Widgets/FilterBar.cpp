#include "FilterBar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace Kalvoro {

TFilterBar::TFilterBar(const QString& aName, QWidget* aParent)
    : QWidget(aParent), FEdit(new QLineEdit(this)) {
  setAccessibleName(aName);
  FEdit->setObjectName(QStringLiteral("edtFilter"));
  FEdit->setAccessibleName(aName);
  FEdit->setAccessibleDescription(
      QStringLiteral("Shows the rows whose names contain the text; * and ? match as in file "
                     "names"));
  FEdit->setPlaceholderText(QStringLiteral("Filter (Ctrl+F)"));
  FEdit->setClearButtonEnabled(true);
  // The box's own clear button is a control too: it gets a name.
  for (QToolButton* Button : FEdit->findChildren<QToolButton*>())
    Button->setAccessibleName(QStringLiteral("Clear"));
  connect(FEdit, &QLineEdit::textChanged, this, &TFilterBar::Changed);
  // Escape empties the box, which brings the whole tree back.
  auto* Clear = new QAction(FEdit);
  Clear->setShortcut(QKeySequence(Qt::Key_Escape));
  Clear->setShortcutContext(Qt::WidgetShortcut);
  connect(Clear, &QAction::triggered, FEdit, &QLineEdit::clear);
  FEdit->addAction(Clear);
  // The box on its own line, the toggles (if any) on the line below it.
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(2, 2, 2, 2);
  Layout->setSpacing(2);
  Layout->addWidget(FEdit);
}

QToolButton* TFilterBar::AddToggle(const QString& aCaption, const QString& aDescription,
                                   unsigned aBit) {
  auto* Button = new QToolButton(this);
  Button->setText(aCaption);
  Button->setAccessibleName(aCaption);
  Button->setAccessibleDescription(aDescription);
  Button->setToolTip(aDescription);
  Button->setCheckable(true);
  Button->setChecked(true);
  Button->setAutoRaise(true);
  connect(Button, &QToolButton::toggled, this, &TFilterBar::Changed);
  if (FToggleRow == nullptr) {
    FToggleRow = new QHBoxLayout;
    FToggleRow->setSpacing(2);
    FToggleRow->addStretch(1);
    static_cast<QVBoxLayout*>(layout())->addLayout(FToggleRow);
  }
  FToggleRow->insertWidget(FToggleRow->count() - 1, Button);
  FToggles.push_back(Button);
  FBits.push_back(aBit);
  return Button;
}

void TFilterBar::AttachShortcut(QWidget* aTarget) {
  auto* Find = new QShortcut(QKeySequence::Find, aTarget);
  Find->setContext(Qt::WidgetWithChildrenShortcut);
  connect(Find, &QShortcut::activated, this, [this] {
    FEdit->setFocus(Qt::ShortcutFocusReason);
    FEdit->selectAll();
  });
}

QString TFilterBar::Text() const {
  return FEdit->text();
}

void TFilterBar::SetText(const QString& aText) {
  FEdit->setText(aText);
}

unsigned TFilterBar::Toggles() const {
  unsigned Result = 0;
  for (std::size_t I = 0; I < FToggles.size(); ++I)
    if (FToggles[I]->isChecked())
      Result |= FBits[I];
  return Result;
}

} // namespace Kalvoro
