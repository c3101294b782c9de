// A tool button whose action has no tool-tip of its own shows none: Qt would
// show the action's caption instead, which only repeats the button's text.
#pragma once

#include <QString>

class QToolButton;

namespace Kalvoro {

// A caption as an action reports it for a tool-tip when it has none: without
// mnemonics and ellipsis.
QString PlainCaption(QString aText);

// From now on aButton shows no tool-tip while its action's tool-tip is only
// its caption; a tool-tip of the action's own is shown as usual.
void SuppressCaptionToolTip(QToolButton* aButton);
// From now on aButton shows no tool-tip at all (a button that has no hint).
void SuppressToolTip(QToolButton* aButton);

} // namespace Kalvoro
