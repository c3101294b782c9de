// The results presenter's help in finding failures: the filter over the
// tree's rows, the next and previous failure, opening a failure in the
// user's editor and copying it.
#include "ResultsPresenter.h"

#include "LinesPage.h"
#include "Paths.h"
#include "Project.h"

#include <QDir>
#include <QFileInfo>

namespace Kalvoro {

void TResultsPresenter::SetFilter(const QString& aText, unsigned aResults) {
  FFilterText = aText;
  FFilterResults = aResults & rtAllResults;
  UpdateHiddenRows();
  FView.ShowFilter();
}

void TResultsPresenter::UpdateHiddenRows() {
  if (FFilterText.trimmed().isEmpty() && FFilterResults == rtAllResults) {
    FHidden.clear();
    return;
  }
  const TTextMatcher Text(FFilterText);
  const auto Toggle = [](TResultTreeImage aImage) -> unsigned {
    switch (aImage) {
    case rtiSuccess:
      return rtSuccess;
    case rtiFailure:
      return rtFailed;
    case rtiException:
      return rtException;
    default:
      return rtNotRun;
    }
  };
  FHidden = Kalvoro::HiddenRows(
      static_cast<int>(FRows.size()),
      [this](int aRow) { return FRows[static_cast<std::size_t>(aRow)].Level(); },
      [this, &Text](int aRow) { return Text.Matches(FRows[static_cast<std::size_t>(aRow)].Text); },
      [this, &Toggle](int aRow) {
        return (Toggle(FRows[static_cast<std::size_t>(aRow)].StatusImage) & FFilterResults) != 0;
      });
}

bool TResultsPresenter::RowShown(int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return false;
  return FHidden.empty() || FHidden[static_cast<std::size_t>(aRow)] == 0;
}

bool TResultsPresenter::AnyShownFailure() const {
  for (std::size_t I = 0; I < FRows.size(); ++I)
    if (FRows[I].Kind == rrkMethod &&
        (FRows[I].StatusImage == rtiFailure || FRows[I].StatusImage == rtiException) &&
        RowShown(static_cast<int>(I)))
      return true;
  return false;
}

void TResultsPresenter::NextFailure(bool aForward) {
  const int Count = static_cast<int>(FRows.size());
  if (Count == 0)
    return;
  const int From = FView.CurrentRow();
  const int Step = aForward ? 1 : -1;
  // From the row after (before) the current one, once round the tree.
  int Row = From < 0 ? (aForward ? 0 : Count - 1) : (From + Step + Count) % Count;
  for (int Seen = 0; Seen < Count; ++Seen, Row = (Row + Step + Count) % Count) {
    const TResultRow& Candidate = FRows[static_cast<std::size_t>(Row)];
    if (Candidate.Kind == rrkMethod &&
        (Candidate.StatusImage == rtiFailure || Candidate.StatusImage == rtiException) &&
        RowShown(Row)) {
      FView.SelectRow(Row);
      return;
    }
  }
}

bool TResultsPresenter::HasFailureLocation(int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return false;
  const TResultRow& Row = FRows[static_cast<std::size_t>(aRow)];
  QString File;
  int Line = 0;
  return Row.Kind == rrkMethod && FDetails.FailureLocation(Row.Method, File, Line);
}

QString TResultsPresenter::OpenFailure(int aRow) {
  if (FEditor == nullptr || !HasFailureLocation(aRow))
    return {};
  const TResultRow& Row = FRows[static_cast<std::size_t>(aRow)];
  QString File;
  int Line = 0;
  FDetails.FailureLocation(Row.Method, File, Line);
  // The method's unit test is the row above it of that kind.
  QString ModuleFolder;
  for (int I = aRow - 1; I >= 0; --I)
    if (const TResultRow& Above = FRows[static_cast<std::size_t>(I)]; Above.Kind == rrkUnitTest) {
      if (const TModule* Module = Above.UnitTest->Module())
        ModuleFolder = QFileInfo(FromPath(Module->LoadPath())).absolutePath();
      break;
    }
  QStringList Folders{ModuleFolder};
  if (FProject != nullptr && !FProject->FileName().empty())
    Folders << QFileInfo(FromPath(FProject->FileName())).absolutePath();
  // Last the folders above the module's: a build names its files from the
  // folder where the compiler ran, often above the one the module lands in.
  for (QDir Above(ModuleFolder); !ModuleFolder.isEmpty() && Above.cdUp();)
    Folders << Above.absolutePath();
  return OpenSourceFile(*FEditor, File, Line, Folders);
}

QString TResultsPresenter::FailureText(int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return {};
  // The names that the Errors page's lines give in parentheses: the row's
  // method, or every method (and phase) of its unit tests.
  QStringList Names;
  QString UnitTest;
  const TResultRow& Row = FRows[static_cast<std::size_t>(aRow)];
  for (int I = aRow - 1; Row.Kind == rrkMethod && I >= 0 && UnitTest.isNull(); --I)
    if (FRows[static_cast<std::size_t>(I)].Kind == rrkUnitTest)
      UnitTest = FRows[static_cast<std::size_t>(I)].Text;
  if (Row.Kind == rrkMethod)
    Names << QLatin1Char('(') + UnitTest + QLatin1Char('.') + Row.Text + QLatin1Char(')');
  else
    for (std::size_t I = static_cast<std::size_t>(aRow);
         I < FRows.size() &&
         (I == static_cast<std::size_t>(aRow) || FRows[I].Level() > Row.Level());
         ++I)
      if (FRows[I].Kind == rrkUnitTest)
        Names << QLatin1Char('(') + FRows[I].Text + QLatin1Char('.');
  QStringList Lines;
  for (const std::string& Line : Page(pkErrors).Lines()) {
    const QString Text = QString::fromStdString(Line);
    for (const QString& Name : Names)
      if (Text.contains(Name)) {
        Lines << Text;
        break;
      }
  }
  return Lines.join(QLatin1Char('\n'));
}

} // namespace Kalvoro
