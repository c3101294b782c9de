#include "CaptionToolTip.h"

#include <QAction>
#include <QEvent>
#include <QToolButton>

namespace Kalvoro {

namespace {

// Swallows the tool-tip event of its button: always, or only while the
// button's action reports its caption as its tool-tip.
class TToolTipFilter : public QObject {
public:
  TToolTipFilter(QObject* aParent, bool aAlways) : QObject(aParent), FAlways(aAlways) {}

  bool eventFilter(QObject* aWatched, QEvent* aEvent) override {
    if (aEvent->type() == QEvent::ToolTip) {
      const auto* Button = qobject_cast<QToolButton*>(aWatched);
      const QAction* Action = Button != nullptr ? Button->defaultAction() : nullptr;
      if (FAlways || (Action != nullptr && Action->toolTip() == PlainCaption(Action->text()))) {
        aEvent->ignore();
        return true;
      }
    }
    return QObject::eventFilter(aWatched, aEvent);
  }

private:
  bool FAlways;
};

} // namespace

QString PlainCaption(QString aText) {
  aText.remove(QLatin1String("..."));
  aText.remove(QLatin1Char('&'));
  return aText.trimmed();
}

void SuppressCaptionToolTip(QToolButton* aButton) {
  if (aButton != nullptr)
    aButton->installEventFilter(new TToolTipFilter(aButton, false));
}

void SuppressToolTip(QToolButton* aButton) {
  if (aButton != nullptr)
    aButton->installEventFilter(new TToolTipFilter(aButton, true));
}

} // namespace Kalvoro
