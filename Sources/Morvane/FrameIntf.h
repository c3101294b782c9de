// The interface through which the main window drives each of its views.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>

class QMenu;
class QToolBar;
class QWidget;

namespace Kalvoro {

class TProject;

// A top-level menu of a view and the group index by which it is merged into the
// main window's menu bar (menus are ordered by group index).
struct TMenuGroup {
  QMenu* Menu = nullptr;
  int GroupIndex = 0;
};
using TFrameMenu = QList<TMenuGroup>;

// A view of the project. The main window activates one view at a time; a view
// holds the project (not owned) from Activate to Deactivate and rebuilds its
// display from it.
class IFrame {
public:
  virtual ~IFrame() = default;

  // Keeps the project (null: the view shows nothing) and rebuilds the display.
  virtual void Activate(TProject* aProject) = 0;
  // Remembers the layout, drops the project and empties the view's trees.
  virtual void Deactivate() = 0;
  // Shows the project again after a change that the view did not make (a
  // rebuilt module listed again): as a new activation, unless the view
  // rebuilds its trees in place.
  virtual void Refresh(TProject* aProject) {
    Deactivate();
    Activate(aProject);
  }
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // The view's own tool bar, shown in the main window while the view is active.
  virtual QToolBar* GetToolBar() = 0;
  // The view's own control: the tool bar's home while the view is inactive.
  virtual QWidget* GetFrame() = 0;
  // The view's menus, merged into the main menu while the view is active.
  virtual const TFrameMenu& GetMenu() = 0;
  virtual QString GetCaption() const = 0;
  // The caption bar's picture, owned by the view.
  virtual QIcon GetIcon() const = 0;
};

} // namespace Kalvoro
