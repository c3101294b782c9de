#include "FPlaceholder.h"

#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QVBoxLayout>

namespace Kalvoro {

TPlaceholderFrame::TPlaceholderFrame(const QString& aCaption, const QString& aMenuCaption,
                                     const QIcon& aIcon, QWidget* aOwner)
    : QWidget(aOwner), FCaption(aCaption), FIcon(aIcon) {
  FToolBar = new QToolBar(aCaption, this);
  FToolBar->setIconSize(QSize(24, 24));
  FToolBar->setMovable(false);
  FMenu.append(TMenuGroup{new QMenu(aMenuCaption, this), 1});
  auto* Label = new QLabel(aCaption, this);
  Label->setAlignment(Qt::AlignCenter);
  Label->setEnabled(false);
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(FToolBar);
  Layout->addWidget(Label, 1);
}

} // namespace Kalvoro
