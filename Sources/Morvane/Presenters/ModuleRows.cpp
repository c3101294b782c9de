#include "ModuleRows.h"

#include "KindLister.h"
#include "ListedIdentity.h"

#include "Paths.h"
#include "Project.h"

namespace Kalvoro {

namespace {

QString FromName(const std::string& aName) {
  return QString::fromUtf8(aName.data(), static_cast<qsizetype>(aName.size()));
}

} // namespace

QString ModuleStatusText(TModuleState aState) {
  const std::string_view Text = ModuleStateText(aState);
  return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
}

TModuleTreeImage ModuleStateImage(TModuleState aState) {
  switch (aState) {
  case msNotLoaded:
    return mtiNotLoaded;
  case msLoadSuccess:
    return mtiLoaded;
  case msLoadFailed:
    return mtiLoadFailed;
  }
  return mtiNotLoaded;
}

std::vector<TModuleRow> ModuleRows(const TModuleList& aModules) {
  std::vector<TModuleRow> Rows;
  for (TModule* Module : aModules) {
    TModuleRow& ModuleRow = Rows.emplace_back();
    ModuleRow.Name = FromPath(Module->GetFileName());
    ModuleRow.Path = FromPath(Module->GetPath());
    ModuleRow.Status = ModuleStatusText(Module->State());
    // A file rebuilt or written over since its listing runs nothing until it
    // is listed again.
    if (Module->State() == msLoadSuccess && ListingOutOfDate(*Module))
      ModuleRow.Status += QStringLiteral(" (out of date)");
    if (Module->State() == msLoadFailed)
      ModuleRow.Error =
          QString::fromStdString(Module->LoaderError()).section(QLatin1Char('\n'), 0, 0).trimmed();
    ModuleRow.Image = ModuleStateImage(Module->State());
    ModuleRow.KindText = QString::fromStdString(ModuleKindName(*Module));
    ModuleRow.Module = Module;
    for (TUnitTestBase* UnitTest : Module->UnitTestList()) {
      TModuleRow& UnitTestRow = Rows.emplace_back();
      UnitTestRow.Kind = mrkUnitTest;
      UnitTestRow.Name = FromName(UnitTest->Name());
      UnitTestRow.Image = mtiUnitTest;
      UnitTestRow.UnitTest = UnitTest;
      for (TUnitTestMethod* Method : UnitTest->Methods()) {
        TModuleRow& MethodRow = Rows.emplace_back();
        MethodRow.Kind = mrkMethod;
        MethodRow.Name = FromName(Method->Name());
        MethodRow.Image = mtiMethod;
      }
    }
  }
  return Rows;
}

} // namespace Kalvoro
