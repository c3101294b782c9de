// Builds a view's actions, tool bar, menus and context menu from its
// presenter's commands.
#pragma once

#include "Actions.h"
#include "Command.h"

#include <QIcon>
#include <QList>

#include <vector>

class QMenu;
class QToolBar;
class QWidget;

namespace Kalvoro {

struct TCommandWidgets {
  QToolBar* ToolBar = nullptr; // buttons of cpToolBar commands, with their hints
  QMenu* Menu = nullptr;       // entries of cpMenu commands
  QMenu* Popup = nullptr;      // entries of cpPopup commands
};

class TCommandActions {
public:
  // Makes one action per command: its caption, image (from aImages), shortcut
  // (working while aOwner is on show), enabling rule, effect, object name and
  // accessible name; then links it into the widgets its places name, with the
  // list's separators. The actions belong to aOwner.
  TCommandActions(const TCommandList& aCommands, const QList<QIcon>& aImages, QWidget* aOwner,
                  const TCommandWidgets& aWidgets);

  // The action of the command of that name, or null.
  TAction* Find(const QString& aName) const;
  const std::vector<TAction*>& Actions() const { return FActions; }
  // Evaluates every action's rule.
  void UpdateAll() const;

private:
  std::vector<TAction*> FActions;
};

} // namespace Kalvoro
