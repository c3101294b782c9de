// User commands as actions: a caption, an image, an optional shortcut, an
// enabling rule and an effect. Rules are evaluated whenever the application is
// about to wait for input and again just before an action runs, so a disabled
// action does nothing however it is invoked. Menu entries and tool buttons are
// links to an action that carry their own hint ("short|long").
#pragma once

#include <QAction>
#include <QIcon>
#include <QPointer>
#include <QString>

#include <functional>

namespace Kalvoro {

// The tool-tip part of a hint: the text before the first "|", or the whole
// hint when it has none.
QString ShortHint(const QString& aHint);
// The status-bar part of a hint: the text after the first "|", or the whole
// hint when it has none.
QString LongHint(const QString& aHint);

class TAction : public QAction {
  Q_OBJECT

public:
  TAction(const QString& aCaption, QObject* aParent);
  ~TAction() override;

  // No rule leaves the action enabled.
  void SetUpdate(std::function<bool()> aRule) { FRule = std::move(aRule); }
  void SetExecute(std::function<void()> aEffect) { FEffect = std::move(aEffect); }

  // Evaluates the enabling rule and shows its outcome.
  void Update();
  // Evaluates the rule and runs the effect when the action is enabled; returns
  // whether it ran. An error of an action started by the user goes to the
  // central error handler; one of an action run by another action goes on to
  // the caller, so that the outer command ends there too.
  bool Execute();

  // Evaluates the rules of all actions, except while updates are held.
  static void UpdateAll();
  // While a run's progress window is up, the event loop turns many times a
  // second: the idle-time update is held, so that no rule runs mid-run and
  // the actions keep the state they had when the run began; no action runs.
  static void HoldUpdates(bool aHold);
  // Whether an action runs or a run's progress window is up.
  static bool UnderWay();

private:
  std::function<bool()> FRule;
  std::function<void()> FEffect;
};

// A menu entry or tool button bound to an action: it shows the action's
// caption, image and enabled state and runs the action, with a hint of its own.
class TActionLink : public QAction {
  Q_OBJECT

public:
  enum TKind { lkButton, lkMenuItem };

  TActionLink(TAction* aAction, TKind aKind, const QString& aHint, QObject* aParent);

  TAction* Action() const { return FAction; }
  QString Hint() const { return FHint; }
  // An image of the link's own instead of the action's.
  void SetOwnIcon(const QIcon& aIcon);

private:
  void Follow();

  QPointer<TAction> FAction;
  TKind FKind;
  QString FHint;
  bool FOwnIcon = false;
};

// A plain menu entry with a hint and no action behind it.
QAction* MakeMenuEntry(const QString& aCaption, const QString& aHint, QObject* aParent);

} // namespace Kalvoro
