// A navigation bar: groups, each with a heading, holding large icon buttons
// that are bound to actions. One group is open at a time; clicking another
// group's heading opens that one. Its colours follow the palette.
#pragma once

#include "NavigationColors.h"

#include <QList>
#include <QString>
#include <QWidget>

class QAction;
class QToolButton;
class QVBoxLayout;

namespace Kalvoro {

class TNavigationBar : public QWidget {
  Q_OBJECT

public:
  explicit TNavigationBar(QWidget* aParent = nullptr);

  // Adds a group and returns its index; the first group is opened.
  int AddGroup(const QString& aCaption);
  int GroupCount() const { return static_cast<int>(FGroups.size()); }
  QString GroupCaption(int aGroup) const;
  // Adds a large-icon button bound to the action (caption, image, enabled state
  // and click all come from the action).
  QToolButton* AddButton(int aGroup, QAction* aAction);
  QList<QToolButton*> Buttons(int aGroup) const;

  int OpenGroup() const { return FOpenGroup; }
  void SetOpenGroup(int aGroup);

  // Marks the button of this action as the current choice (null marks none).
  void SetHighlighted(QAction* aAction);
  QAction* Highlighted() const { return FHighlighted; }

  void SetButtonIconSize(int aSize);
  // The colours the bar paints with, for the palette it has now.
  const TNavigationColors& Colors() const { return FColors; }

protected:
  void changeEvent(QEvent* aEvent) override;
  void paintEvent(QPaintEvent* aEvent) override;

private:
  struct TGroup {
    QToolButton* Heading;
    QWidget* Body;
    QVBoxLayout* BodyLayout;
    QList<QToolButton*> Buttons;
  };

  void Restyle();
  void ApplyColors();

  QVBoxLayout* FLayout;
  QList<TGroup> FGroups;
  int FOpenGroup = -1;
  int FIconSize = 32;
  QAction* FHighlighted = nullptr;
  TNavigationColors FColors;
};

} // namespace Kalvoro
