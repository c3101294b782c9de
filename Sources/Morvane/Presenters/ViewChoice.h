// The main window's choice of the view it shows, without any widget: one of
// the modules, scenarios and results views at a time, put aside while the
// project is replaced, and how the menu bar merges the shown view's menus
// with the window's own.
#pragma once

#include <vector>

namespace Kalvoro {

enum TMainView { mvNone = -1, mvModules, mvScenarios, mvResults };

// What the choice asks of the main window.
class IViewHost {
public:
  virtual ~IViewHost() = default;
  // Takes the shown view off the window and deactivates it.
  virtual void LeaveView(TMainView aView) = 0;
  // Marks aView as the shown one (mvNone: none) and, unless none, puts it on
  // the window, active with the current project.
  virtual void EnterView(TMainView aView) = 0;
  // Deactivates the view and activates it again, with the project as it is.
  virtual void RenewView(TMainView aView) = 0;
};

class TViewChoice {
public:
  explicit TViewChoice(IViewHost& aHost) : FHost(aHost) {}

  TMainView Shown() const { return FShown; }
  // Leaves the shown view and enters aView; choosing the shown view again
  // does nothing.
  void Show(TMainView aView);
  // Before the project is replaced: no view may hold the project that goes,
  // so the shown one is left and remembered...
  void PutAside();
  // ...and entered again once the new project is there.
  void Restore();
  // After a reload of rebuilt modules the shown view shows the project anew,
  // but for the results view, which has its rows from the reload.
  void ModulesReloaded();

private:
  IViewHost& FHost;
  TMainView FShown = mvNone;
  TMainView FPutAside = mvNone;
};

// A menu of the menu bar: the window's own (Merged false) or the shown
// view's, by its index in its list.
struct TMenuPlace {
  bool Merged = false;
  int Index = 0;
  bool operator==(const TMenuPlace&) const = default;
};

// The menu bar from the group indexes of the window's own menus and of the
// shown view's: an own menu whose group a view's menu has is replaced by it;
// the rest go in group order, own menus before the view's of the same group.
std::vector<TMenuPlace> MergedMenus(const std::vector<int>& aOwnGroups,
                                    const std::vector<int>& aViewGroups);

} // namespace Kalvoro
