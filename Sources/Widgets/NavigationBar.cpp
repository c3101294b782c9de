#include "NavigationBar.h"

#include "CaptionToolTip.h"

#include <QAction>
#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace Kalvoro {

TNavigationBar::TNavigationBar(QWidget* aParent) : QWidget(aParent) {
  setAccessibleName(QStringLiteral("Navigation"));
  ApplyColors();
  FLayout = new QVBoxLayout(this);
  FLayout->setContentsMargins(0, 0, 0, 0);
  FLayout->setSpacing(0);
  FLayout->addStretch(1);
  setMinimumWidth(96);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

int TNavigationBar::AddGroup(const QString& aCaption) {
  TGroup Group;
  Group.Heading = new QToolButton(this);
  Group.Heading->setText(aCaption);
  Group.Heading->setAccessibleName(PlainCaption(aCaption));
  Group.Heading->setProperty("navHeading", true);
  Group.Heading->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  Group.Heading->setToolButtonStyle(Qt::ToolButtonTextOnly);
  Group.Heading->setFocusPolicy(Qt::NoFocus);
  Group.Body = new QWidget(this);
  Group.BodyLayout = new QVBoxLayout(Group.Body);
  Group.BodyLayout->setContentsMargins(6, 8, 6, 8);
  Group.BodyLayout->setSpacing(6);
  Group.BodyLayout->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  const int Index = GroupCount();
  // Headings and bodies go before the trailing stretch, in group order.
  FLayout->insertWidget(FLayout->count() - 1, Group.Heading);
  FLayout->insertWidget(FLayout->count() - 1, Group.Body, 1);
  connect(Group.Heading, &QToolButton::clicked, this, [this, Index] { SetOpenGroup(Index); });
  FGroups.append(Group);
  if (FOpenGroup < 0)
    SetOpenGroup(Index);
  else
    Group.Body->hide();
  return Index;
}

QString TNavigationBar::GroupCaption(int aGroup) const {
  return aGroup >= 0 && aGroup < GroupCount() ? FGroups[aGroup].Heading->text() : QString();
}

QToolButton* TNavigationBar::AddButton(int aGroup, QAction* aAction) {
  if (aGroup < 0 || aGroup >= GroupCount() || aAction == nullptr)
    return nullptr;
  TGroup& Group = FGroups[aGroup];
  auto* Button = new QToolButton(Group.Body);
  Button->setDefaultAction(aAction);
  Button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  Button->setIconSize(QSize(FIconSize, FIconSize));
  Button->setAutoRaise(true);
  Button->setProperty("navButton", true);
  Button->setFocusPolicy(Qt::NoFocus);
  Button->setMinimumWidth(80);
  Button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  SuppressCaptionToolTip(Button);
  // The button's name follows its action's caption.
  const auto Name = [Button, aAction] { Button->setAccessibleName(PlainCaption(aAction->text())); };
  Name();
  connect(aAction, &QAction::changed, Button, Name);
  Group.BodyLayout->addWidget(Button);
  Group.Buttons.append(Button);
  return Button;
}

QList<QToolButton*> TNavigationBar::Buttons(int aGroup) const {
  return aGroup >= 0 && aGroup < GroupCount() ? FGroups[aGroup].Buttons : QList<QToolButton*>();
}

void TNavigationBar::SetOpenGroup(int aGroup) {
  if (aGroup < 0 || aGroup >= GroupCount())
    return;
  FOpenGroup = aGroup;
  for (int I = 0; I < GroupCount(); ++I)
    FGroups[I].Body->setVisible(I == aGroup);
}

void TNavigationBar::SetHighlighted(QAction* aAction) {
  FHighlighted = aAction;
  Restyle();
}

void TNavigationBar::ApplyColors() {
  FColors = TNavigationColors::FromPalette(palette());
  const QString Sheet = FColors.StyleSheet();
  if (Sheet != styleSheet())
    setStyleSheet(Sheet);
  update();
}

void TNavigationBar::changeEvent(QEvent* aEvent) {
  if (aEvent->type() == QEvent::PaletteChange)
    ApplyColors();
  QWidget::changeEvent(aEvent);
}

void TNavigationBar::paintEvent(QPaintEvent* /*aEvent*/) {
  QPainter Painter(this);
  Painter.fillRect(rect(), FColors.Bar);
}

void TNavigationBar::SetButtonIconSize(int aSize) {
  FIconSize = aSize;
  for (const TGroup& Group : FGroups)
    for (QToolButton* Button : Group.Buttons)
      Button->setIconSize(QSize(aSize, aSize));
}

void TNavigationBar::Restyle() {
  for (const TGroup& Group : FGroups)
    for (QToolButton* Button : Group.Buttons) {
      const bool Current = FHighlighted != nullptr && Button->defaultAction() == FHighlighted;
      if (Button->property("navCurrent").toBool() == Current)
        continue;
      Button->setProperty("navCurrent", Current);
      Button->style()->unpolish(Button);
      Button->style()->polish(Button);
    }
}

} // namespace Kalvoro
