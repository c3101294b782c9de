// A read-only view of a long list of text lines (a log): one line per row in
// a fixed-pitch font, fast for a million lines, with selection and copying
// of lines, a find box, and following the end while lines arrive.
#pragma once

#include <QListView>

class QLineEdit;

namespace Kalvoro {

// Works over any list model whose rows answer Qt::DisplayRole. A model may
// offer two services that spare visiting every row:
// - a property "widestLine": the length of its longest line in characters
//   (an upper bound will do), so that the rows are as wide as that line;
// - an invokable "int FindLine(const QString& aText, int aFrom)" that
//   answers what Find does.
class TLinesView : public QListView {
  Q_OBJECT

public:
  explicit TLinesView(QWidget* aParent = nullptr);

  // Finds the first line at or after aFrom (then from the top) that contains
  // aText, letter case ignored, and makes it the current, selected and
  // visible row. Returns the row, or -1 when no line contains the text.
  int Find(const QString& aText, int aFrom);
  // The selected lines in their order, one per line; Ctrl+C copies them.
  QString SelectedText() const;
  void CopySelection() const;
  // True while the view shows the last line: new lines keep it there.
  bool FollowsEnd() const { return FFollowsEnd; }
  // The find box that Ctrl+F shows (Return finds the next line, Escape
  // hides it; F3 finds the next line from the list).
  QLineEdit* FindBox() const { return FFindBox; }

protected:
  bool event(QEvent* aEvent) override;
  void keyPressEvent(QKeyEvent* aEvent) override;
  void resizeEvent(QResizeEvent* aEvent) override;

private:
  void ShowFindBox();
  void HideFindBox();
  void FindNext();
  void PlaceFindBox();
  int ScanRows(const QString& aText, int aFrom) const;

  QLineEdit* FFindBox;
  bool FFollowsEnd = true;
};

} // namespace Kalvoro
