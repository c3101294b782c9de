#include "CommandActions.h"

#include "CaptionToolTip.h"

#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

namespace Kalvoro {

namespace {

void AddSeparator(const TCommand& aCommand, const TCommandWidgets& aWidgets) {
  if ((aCommand.Places & cpToolBar) && aWidgets.ToolBar != nullptr)
    aWidgets.ToolBar->addSeparator();
  if ((aCommand.Places & cpMenu) && aWidgets.Menu != nullptr)
    aWidgets.Menu->addSeparator();
  if ((aCommand.Places & cpPopup) && aWidgets.Popup != nullptr)
    aWidgets.Popup->addSeparator();
}

} // namespace

TCommandActions::TCommandActions(const TCommandList& aCommands, const QList<QIcon>& aImages,
                                 QWidget* aOwner, const TCommandWidgets& aWidgets) {
  for (const TCommand& Command : aCommands) {
    if (Command.IsSeparator()) {
      AddSeparator(Command, aWidgets);
      continue;
    }
    auto* Action = new TAction(Command.Caption, aOwner);
    Action->setObjectName(Command.Name);
    if (Command.Image >= 0)
      Action->setIcon(aImages.value(Command.Image));
    if (!Command.Shortcut.isEmpty()) {
      Action->setShortcut(Command.Shortcut);
      Action->setShortcutContext(Qt::WindowShortcut);
      // Shortcuts work while the view is on show, that is while it is active.
      aOwner->addAction(Action);
    }
    Action->SetUpdate(Command.Rule);
    Action->SetExecute(Command.Effect);
    FActions.push_back(Action);

    const auto HintFor = [&Command](TCommandPlace aPlace) {
      return (Command.HintPlaces & aPlace) ? Command.Hint : QString();
    };
    if ((Command.Places & cpToolBar) && aWidgets.ToolBar != nullptr) {
      auto* Link = new TActionLink(Action, TActionLink::lkButton, HintFor(cpToolBar), aOwner);
      aWidgets.ToolBar->addAction(Link);
      if (QWidget* Button = aWidgets.ToolBar->widgetForAction(Link)) {
        Button->setObjectName(QStringLiteral("btn") + Command.Name.mid(3));
        // An icon-only button is named by the short part of its hint.
        const QString Short = ShortHint(Command.Hint).trimmed();
        Button->setAccessibleName(Short.isEmpty() ? QString(Command.Caption).remove('&') : Short);
        // Without a hint on the tool bar the button shows no tool-tip, not
        // even its caption, which Qt would show in its place.
        if (HintFor(cpToolBar).isEmpty())
          SuppressToolTip(qobject_cast<QToolButton*>(Button));
      }
    }
    if ((Command.Places & cpMenu) && aWidgets.Menu != nullptr)
      aWidgets.Menu->addAction(
          new TActionLink(Action, TActionLink::lkMenuItem, HintFor(cpMenu), aOwner));
    if ((Command.Places & cpPopup) && aWidgets.Popup != nullptr)
      aWidgets.Popup->addAction(
          new TActionLink(Action, TActionLink::lkMenuItem, HintFor(cpPopup), aOwner));
  }
  UpdateAll();
  // The tool bar's own button for the commands that do not fit is a control
  // too: it gets a name.
  if (aWidgets.ToolBar != nullptr)
    for (QToolButton* Button :
         aWidgets.ToolBar->findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
      Button->setAccessibleName(QStringLiteral("More commands"));
}

TAction* TCommandActions::Find(const QString& aName) const {
  for (TAction* Action : FActions)
    if (Action->objectName() == aName)
      return Action;
  return nullptr;
}

void TCommandActions::UpdateAll() const {
  for (TAction* Action : FActions)
    Action->Update();
}

} // namespace Kalvoro
