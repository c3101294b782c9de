#include "Actions.h"

#include "Application.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <vector>

namespace Kalvoro {

namespace {

std::vector<TAction*>& LiveActions() {
  static std::vector<TAction*> Actions;
  return Actions;
}

// Nesting depth of running actions.
int ExecuteDepth = 0;
// Holds of the idle-time update (nested progress windows add up).
int UpdateHolds = 0;

// Hooks the idle-time update onto the event loop of the GUI thread, once.
void ConnectIdleUpdate() {
  static QPointer<QAbstractEventDispatcher> Connected;
  QAbstractEventDispatcher* Dispatcher = QAbstractEventDispatcher::instance(
      QCoreApplication::instance() != nullptr ? QCoreApplication::instance()->thread() : nullptr);
  if (Dispatcher == nullptr || Dispatcher == Connected)
    return;
  Connected = Dispatcher;
  QObject::connect(Dispatcher, &QAbstractEventDispatcher::aboutToBlock, Dispatcher,
                   [] { TAction::UpdateAll(); });
}

} // namespace

QString ShortHint(const QString& aHint) {
  const qsizetype Bar = aHint.indexOf(QLatin1Char('|'));
  return Bar < 0 ? aHint : aHint.left(Bar);
}

QString LongHint(const QString& aHint) {
  const qsizetype Bar = aHint.indexOf(QLatin1Char('|'));
  return Bar < 0 ? aHint : aHint.mid(Bar + 1);
}

TAction::TAction(const QString& aCaption, QObject* aParent) : QAction(aCaption, aParent) {
  LiveActions().push_back(this);
  ConnectIdleUpdate();
  connect(this, &QAction::triggered, this, [this] { Execute(); });
}

TAction::~TAction() {
  auto& Actions = LiveActions();
  Actions.erase(std::remove(Actions.begin(), Actions.end(), this), Actions.end());
}

void TAction::Update() {
  setEnabled(!FRule || FRule());
}

bool TAction::UnderWay() {
  return ExecuteDepth > 0 || UpdateHolds > 0;
}

bool TAction::Execute() {
  // While a run's window is up nothing may change the project, also not a
  // command pressed over the accessibility bus, which modality does not stop.
  if (UpdateHolds > 0)
    return false;
  Update();
  if (!isEnabled())
    return false;
  if (!FEffect)
    return true;
  if (ExecuteDepth > 0) {
    // Run by another action: an error ends the outer command as well.
    ++ExecuteDepth;
    try {
      FEffect();
    } catch (...) {
      --ExecuteDepth;
      throw;
    }
    --ExecuteDepth;
    return true;
  }
  ++ExecuteDepth;
  try {
    FEffect();
  } catch (...) {
    ExecuteDepth = 0;
    HandleCurrentException();
    return true;
  }
  --ExecuteDepth;
  return true;
}

void TAction::HoldUpdates(bool aHold) {
  UpdateHolds += aHold ? 1 : -1;
}

void TAction::UpdateAll() {
  if (UpdateHolds > 0)
    return;
  // A rule may not create or destroy actions, but be safe against it.
  const std::vector<TAction*> Actions = LiveActions();
  for (TAction* Action : Actions)
    if (std::find(LiveActions().begin(), LiveActions().end(), Action) != LiveActions().end())
      Action->Update();
}

TActionLink::TActionLink(TAction* aAction, TKind aKind, const QString& aHint, QObject* aParent)
    : QAction(aParent), FAction(aAction), FKind(aKind), FHint(aHint) {
  setToolTip(ShortHint(aHint));
  setStatusTip(LongHint(aHint));
  Follow();
  connect(aAction, &QAction::changed, this, &TActionLink::Follow);
  connect(this, &QAction::triggered, this, [this] {
    if (FAction != nullptr)
      FAction->Execute();
  });
}

void TActionLink::SetOwnIcon(const QIcon& aIcon) {
  FOwnIcon = true;
  setIcon(aIcon);
}

void TActionLink::Follow() {
  if (FAction == nullptr)
    return;
  QString Text = FAction->text();
  // Menu entries show the action's shortcut; the shortcut itself stays with the
  // action, so that it works whether or not the menu is on show.
  if (FKind == lkMenuItem && !FAction->shortcut().isEmpty())
    Text += QLatin1Char('\t') + FAction->shortcut().toString(QKeySequence::NativeText);
  setText(Text);
  if (!FOwnIcon)
    setIcon(FAction->icon());
  setEnabled(FAction->isEnabled());
  setVisible(FAction->isVisible());
}

QAction* MakeMenuEntry(const QString& aCaption, const QString& aHint, QObject* aParent) {
  auto* Entry = new QAction(aCaption, aParent);
  Entry->setToolTip(ShortHint(aHint));
  Entry->setStatusTip(LongHint(aHint));
  return Entry;
}

} // namespace Kalvoro
