// One page of run output (the results view's Summary, Log or Errors): a list
// of UTF-8 lines that the output sink appends to and the view shows.
#pragma once

#include <QAbstractListModel>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

// A run can append a million lines. Appending only stores the line; the rows
// reach the views in batches: at the next turn of the event loop, every
// FlushThreshold lines, or on Flush(). Lines() and Count() always include
// every line appended, rowCount() only the rows the views were told of.
// A line longer than MaxShownBytes is shown cut (ShownText), so that a
// 100 MB line costs no more to show than a long one; Lines() keeps it whole.
class TLinesPage : public QAbstractListModel {
  Q_OBJECT
  // The length of the longest shown line in bytes (at least its length in
  // characters), so that a view can make its rows that wide.
  Q_PROPERTY(int widestLine READ WidestLine)

public:
  explicit TLinesPage(QObject* aParent = nullptr);
  ~TLinesPage() override;

  void Append(std::string_view aLine);
  void Clear();
  const std::vector<std::string>& Lines() const { return FLines; }
  int Count() const { return static_cast<int>(FLines.size()); }
  int WidestLine() const { return FWidest; }
  // Tells the views of the lines appended since the last batch.
  void Flush();

  // The first line at or after aFrom that contains aText (letter case of
  // ASCII letters ignored), continuing from the top; -1 when no line does.
  // An empty text finds nothing.
  Q_INVOKABLE int FindLine(const QString& aText, int aFrom) const;

  int rowCount(const QModelIndex& aParent = {}) const override;
  QVariant data(const QModelIndex& aIndex, int aRole = Qt::DisplayRole) const override;

  static constexpr int FlushThreshold = 1 << 16;
  static constexpr std::size_t MaxShownBytes = 16384;
  // The line as the views show it: whole up to MaxShownBytes; a longer one
  // cut there (on a character's start) with a note of the bytes left out.
  static QString ShownText(const std::string& aLine);

private:
  void ScheduleFlush();

  std::vector<std::string> FLines;
  // Rows the views know of; the rest are pending.
  int FShown = 0;
  int FWidest = 0;
  bool FFlushScheduled = false;
};

} // namespace Kalvoro
