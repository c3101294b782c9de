// A filter box for a tree: a line edit that filters as the user types, with
// optional toggle buttons (all checked at first), Escape to clear the box,
// and Ctrl+F on the tree to go to the box. It only tells what was typed and
// toggled; its owner decides which rows show.
#pragma once

#include <QWidget>

#include <vector>

class QHBoxLayout;
class QLineEdit;
class QToolButton;

namespace Kalvoro {

class TFilterBar : public QWidget {
  Q_OBJECT

public:
  // aName names the box for assistive tools ("Filter results").
  explicit TFilterBar(const QString& aName, QWidget* aParent = nullptr);

  // Adds a checked toggle button after the box that stands for aBit.
  QToolButton* AddToggle(const QString& aCaption, const QString& aDescription, unsigned aBit);
  // Ctrl+F on aTarget or its children focuses the box and selects its text.
  void AttachShortcut(QWidget* aTarget);

  QString Text() const;
  void SetText(const QString& aText);
  // The bits of the checked toggles.
  unsigned Toggles() const;
  QLineEdit* Edit() const { return FEdit; }
  QToolButton* Toggle(int aIndex) const { return FToggles[static_cast<std::size_t>(aIndex)]; }

signals:
  // The text or a toggle changed.
  void Changed();

private:
  QLineEdit* FEdit;
  QHBoxLayout* FToggleRow = nullptr;
  std::vector<QToolButton*> FToggles;
  std::vector<unsigned> FBits;
};

} // namespace Kalvoro
