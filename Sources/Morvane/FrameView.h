// What every view of the main window has in common: the QWidget that is the
// view, its caption and caption-bar picture, its tool bar and its menus. The
// views derive from it and add their own controls and IFrame's Activate and
// Deactivate.
#pragma once

#include "FrameIntf.h"
#include "Images.h"

#include <QWidget>

class QMenu;
class QToolBar;

namespace Kalvoro {

class TFrameView : public QWidget, public IFrame {
public:
  // aCaption names the view, its tool bar and (for screen readers) the tool
  // bar; aImage is its picture in the navigation and caption bars.
  TFrameView(const QString& aCaption, TNavigationImage aImage, QWidget* aOwner);

  void Show() override { show(); }
  void Hide() override { hide(); }
  QToolBar* GetToolBar() override { return FToolBar; }
  QWidget* GetFrame() override { return this; }
  const TFrameMenu& GetMenu() override { return FMenu; }
  QString GetCaption() const override { return FCaption; }
  QIcon GetIcon() const override { return FIcon; }

protected:
  QToolBar* ToolBar() const { return FToolBar; }
  // Adds a top-level menu, merged into the main menu at aGroupIndex.
  void AddMenu(QMenu* aMenu, int aGroupIndex) { FMenu.append(TMenuGroup{aMenu, aGroupIndex}); }

private:
  QString FCaption;
  QIcon FIcon;
  QToolBar* FToolBar;
  TFrameMenu FMenu;
};

} // namespace Kalvoro
