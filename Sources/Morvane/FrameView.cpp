#include "FrameView.h"

#include <QToolBar>
#include <QToolButton>

namespace Kalvoro {

TFrameView::TFrameView(const QString& aCaption, TNavigationImage aImage, QWidget* aOwner)
    : QWidget(aOwner), FCaption(aCaption), FIcon(NavigationImages().value(aImage)),
      FToolBar(new QToolBar(aCaption, this)) {
  FToolBar->setAccessibleName(aCaption);
  FToolBar->setIconSize(QSize(24, 24));
  FToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  FToolBar->setMovable(false);
  FToolBar->setFloatable(false);
  // The button that shows the buttons a narrow tool bar has no room for.
  if (auto* More = FToolBar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
    More->setAccessibleName(QStringLiteral("More"));
}

} // namespace Kalvoro
