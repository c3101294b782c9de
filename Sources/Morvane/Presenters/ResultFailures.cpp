#include "ResultFailures.h"

#include "Paths.h"
#include "Project.h"

#include <QDir>
#include <QFileInfo>

namespace Kalvoro {

QStringList FailureFolders(const std::vector<TResultRow>& aRows, int aRow,
                           const TProject* aProject) {
  // The method's unit test is the row above it of that kind.
  QString ModuleFolder;
  for (int I = aRow - 1; I >= 0; --I)
    if (const TResultRow& Above = aRows[static_cast<std::size_t>(I)]; Above.Kind == rrkUnitTest) {
      if (const TModule* Module = Above.UnitTest->Module())
        ModuleFolder = QFileInfo(FromPath(Module->LoadPath())).absolutePath();
      break;
    }
  QStringList Folders{ModuleFolder};
  if (aProject != nullptr && !aProject->FileName().empty())
    Folders << QFileInfo(FromPath(aProject->FileName())).absolutePath();
  for (QDir Above(ModuleFolder); !ModuleFolder.isEmpty() && Above.cdUp();)
    Folders << Above.absolutePath();
  return Folders;
}

QString FailureText(const std::vector<TResultRow>& aRows, int aRow,
                    const std::vector<std::string>& aErrors) {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= aRows.size())
    return {};
  // The names that the Errors page's lines give in parentheses: the row's
  // method, or every method (and phase) of its unit tests.
  QStringList Names;
  QString UnitTest;
  const TResultRow& Row = aRows[static_cast<std::size_t>(aRow)];
  for (int I = aRow - 1; Row.Kind == rrkMethod && I >= 0 && UnitTest.isNull(); --I)
    if (aRows[static_cast<std::size_t>(I)].Kind == rrkUnitTest)
      UnitTest = aRows[static_cast<std::size_t>(I)].Text;
  if (Row.Kind == rrkMethod)
    Names << QLatin1Char('(') + UnitTest + QLatin1Char('.') + Row.Text + QLatin1Char(')');
  else
    for (std::size_t I = static_cast<std::size_t>(aRow);
         I < aRows.size() &&
         (I == static_cast<std::size_t>(aRow) || aRows[I].Level() > Row.Level());
         ++I)
      if (aRows[I].Kind == rrkUnitTest)
        Names << QLatin1Char('(') + aRows[I].Text + QLatin1Char('.');
  QStringList Lines;
  for (const std::string& Line : aErrors) {
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
