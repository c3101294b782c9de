#include "LinesPage.h"

#include <array>
#include <utility>

namespace Kalvoro {

namespace {

char Fold(char aChar) {
  return aChar >= 'A' && aChar <= 'Z' ? static_cast<char>(aChar - 'A' + 'a') : aChar;
}

// Finds a folded pattern in lines with letter case ignored (Horspool: a skip
// table over the folded bytes, comparing from the pattern's end).
class TFoldedSearch {
public:
  explicit TFoldedSearch(std::string aPattern) : FPattern(std::move(aPattern)) {
    for (char& Char : FPattern)
      Char = Fold(Char);
    const std::size_t Last = FPattern.size() - 1;
    FSkip.fill(FPattern.size());
    for (std::size_t Index = 0; Index < Last; ++Index)
      FSkip[static_cast<unsigned char>(FPattern[Index])] = Last - Index;
  }

  bool In(const std::string& aLine) const {
    const std::size_t Length = FPattern.size();
    if (aLine.size() < Length)
      return false;
    const char* Text = aLine.data();
    const std::size_t Last = Length - 1;
    for (std::size_t At = 0; At + Length <= aLine.size();) {
      const char Tail = Fold(Text[At + Last]);
      if (Tail == FPattern[Last] && Matches(Text + At, Last))
        return true;
      At += FSkip[static_cast<unsigned char>(Tail)];
    }
    return false;
  }

private:
  bool Matches(const char* aText, std::size_t aCount) const {
    for (std::size_t Index = 0; Index < aCount; ++Index)
      if (Fold(aText[Index]) != FPattern[Index])
        return false;
    return true;
  }

  std::string FPattern;
  std::array<std::size_t, 256> FSkip{};
};

} // namespace

TLinesPage::TLinesPage(QObject* aParent) : QAbstractListModel(aParent) {}

TLinesPage::~TLinesPage() = default;

void TLinesPage::Append(std::string_view aLine) {
  // Grow by half rather than double: the list of a long log is large, and
  // half-empty capacity would count against the page's memory.
  if (FLines.size() == FLines.capacity())
    FLines.reserve(FLines.capacity() + FLines.capacity() / 2 + 64);
  FLines.emplace_back(aLine);
  // A cut line is as wide as its shown part and the note (under 64 bytes).
  const std::size_t Shown = aLine.size() > MaxShownBytes ? MaxShownBytes + 64 : aLine.size();
  if (Shown > static_cast<std::size_t>(FWidest))
    FWidest = static_cast<int>(Shown);
  if (Count() - FShown >= FlushThreshold)
    Flush();
  else
    ScheduleFlush();
}

void TLinesPage::Clear() {
  beginResetModel();
  std::vector<std::string>().swap(FLines);
  FShown = 0;
  FWidest = 0;
  endResetModel();
}

void TLinesPage::Flush() {
  FFlushScheduled = false;
  if (Count() == FShown)
    return;
  beginInsertRows({}, FShown, Count() - 1);
  FShown = Count();
  endInsertRows();
}

void TLinesPage::ScheduleFlush() {
  if (FFlushScheduled)
    return;
  FFlushScheduled = true;
  QMetaObject::invokeMethod(this, &TLinesPage::Flush, Qt::QueuedConnection);
}

int TLinesPage::FindLine(const QString& aText, int aFrom) const {
  if (aText.isEmpty() || FLines.empty())
    return -1;
  const TFoldedSearch Search(aText.toStdString());
  const int Total = Count();
  const int Start = aFrom < 0 || aFrom >= Total ? 0 : aFrom;
  for (int Step = 0; Step < Total; ++Step) {
    const int Row = (Start + Step) % Total;
    if (Search.In(FLines[static_cast<std::size_t>(Row)]))
      return Row;
  }
  return -1;
}

int TLinesPage::rowCount(const QModelIndex& aParent) const {
  return aParent.isValid() ? 0 : FShown;
}

QVariant TLinesPage::data(const QModelIndex& aIndex, int aRole) const {
  if (!checkIndex(aIndex, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
      aIndex.row() >= FShown)
    return {};
  if (aRole != Qt::DisplayRole && aRole != Qt::AccessibleTextRole)
    return {};
  return ShownText(FLines[static_cast<std::size_t>(aIndex.row())]);
}

QString TLinesPage::ShownText(const std::string& aLine) {
  if (aLine.size() <= MaxShownBytes)
    return QString::fromUtf8(aLine.data(), static_cast<qsizetype>(aLine.size()));
  // Back off over continuation bytes (10xxxxxx) to the start of a character.
  std::size_t Cut = MaxShownBytes;
  while (Cut > 0 && (static_cast<unsigned char>(aLine[Cut]) & 0xC0) == 0x80)
    --Cut;
  return QString::fromUtf8(aLine.data(), static_cast<qsizetype>(Cut)) +
         QStringLiteral(" ... (%1 more bytes not shown)").arg(aLine.size() - Cut);
}

} // namespace Kalvoro
