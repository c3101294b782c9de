#include "ModulesPresenter.h"

#include "Dialogs.h"
#include "KindLister.h"
#include "LoadErrors.h"
#include "ModuleImages.h"
#include "Paths.h"
#include "ProgramSettings.h"
#include "Project.h"
#include "Titles.h"

#include <QCoreApplication>
#include <QDir>

namespace Kalvoro {

TModulesPresenter::TModulesPresenter(IDialogs& aDialogs, IModulesView& aView)
    : FDialogs(aDialogs), FView(aView) {
  const auto HasProject = [this] { return FProject != nullptr; };
  FCommands = {
      {.Name = "actAddModule",
       .Caption = "Add",
       .Image = mdaAdd,
       .Shortcut = QKeySequence(Qt::Key_Insert),
       .Hint = "Add Module|Add a module to the project",
       .Rule = HasProject,
       .Effect = [this] { AddModule(); }},
      {.Name = "actRemoveModule",
       .Caption = "Remove",
       .Image = mdaRemove,
       .Shortcut = QKeySequence(Qt::Key_Delete),
       .Hint = "Remove Module|Remove the selected module from the project",
       .Rule = [this] { return CanRemove(FView.CurrentModule()); },
       .Effect = [this] { RemoveModule(); }},
      {.Name = "actLoadModule",
       .Caption = "Load",
       .Image = mdaLoad,
       .Shortcut = QKeySequence(Qt::CTRL | Qt::Key_L),
       .Hint = "Load Module|Load the selected module",
       .Rule = [this] { return CanLoad(FView.CurrentModule()); },
       .Effect = [this] { LoadModule(); }},
      {.Name = "actUnloadModule",
       .Caption = "Unload",
       .Image = mdaUnload,
       .Shortcut = QKeySequence(Qt::CTRL | Qt::Key_U),
       .Hint = "Unload Module|Unload the selected module",
       .Rule = [this] { return CanUnload(FView.CurrentModule()); },
       .Effect = [this] { UnloadModule(); }},
      TCommand::Separator(),
      {.Name = "actRemoveAll",
       .Caption = "Remove All",
       .Image = mdaRemoveAll,
       .Shortcut = QKeySequence(Qt::SHIFT | Qt::Key_Delete),
       .Hint = "Remove All Modules|Remove all modules from the project",
       .Rule = HasProject,
       .Effect = [this] { RemoveAll(); }},
      {.Name = "actLoadAll",
       .Caption = "Load All",
       .Image = mdaLoadAll,
       .Shortcut = QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L),
       .Hint = "Load All Modules|Load all modules",
       .Rule = HasProject,
       .Effect = [this] { LoadAll(); }},
      {.Name = "actUnloadAll",
       .Caption = "Unload All",
       .Image = mdaUnloadAll,
       .Shortcut = QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_U),
       .Hint = "Unload All Modules|Unload all modules",
       .Rule = HasProject,
       .Effect = [this] { UnloadAll(); }},
      TCommand::Separator(cpMenu | cpPopup),
      {.Name = "actProgramSettings",
       .Caption = "Program Settings...",
       .Hint = "Program Settings|The arguments, environment and working directory of the "
               "selected test program",
       .Rule = [this] { return CanSetUp(FView.CurrentModule()); },
       .Effect = [this] { EditProgramSettings(); },
       .Places = cpMenu | cpPopup},
  };
}

std::vector<TModuleRow> TModulesPresenter::Rows() const {
  return FProject != nullptr ? ModuleRows(FProject->Modules()) : std::vector<TModuleRow>{};
}

std::vector<char> TModulesPresenter::HiddenRows(const std::vector<TModuleRow>& aRows) const {
  const TTextMatcher Text(FFilterText);
  if (Text.Empty())
    return {};
  return Kalvoro::HiddenRows(
      static_cast<int>(aRows.size()),
      [&aRows](int aRow) { return aRows[static_cast<std::size_t>(aRow)].Level(); },
      [&aRows, &Text](int aRow) {
        return Text.Matches(aRows[static_cast<std::size_t>(aRow)].Name);
      });
}

QString TModulesPresenter::ExamplesFolder() {
  const QString Installed = QDir(QCoreApplication::applicationDirPath())
                                .filePath(QStringLiteral(KALVORO_INSTALLED_EXAMPLES_DIR));
  if (QDir(Installed).exists())
    return QDir::cleanPath(Installed);
#ifdef KALVORO_EXAMPLES_DIR
  return QStringLiteral(KALVORO_EXAMPLES_DIR);
#else
  return QDir::currentPath();
#endif
}

bool TModulesPresenter::CanRemove(const TModule* aCurrent) const {
  return FProject != nullptr && aCurrent != nullptr;
}

bool TModulesPresenter::CanLoad(const TModule* aCurrent) const {
  return CanRemove(aCurrent) &&
         (aCurrent->State() == msNotLoaded || aCurrent->State() == msLoadFailed);
}

bool TModulesPresenter::CanUnload(const TModule* aCurrent) const {
  return CanRemove(aCurrent) && aCurrent->State() == msLoadSuccess;
}

bool TModulesPresenter::CanSetUp(const TModule* aCurrent) const {
  if (!CanRemove(aCurrent))
    return false;
  const std::string Kind = ModuleKindName(*aCurrent);
  return !Kind.empty() && !Kind.starts_with("Kalvoro module");
}

void TModulesPresenter::Changing(const std::function<void()>& aChange) {
  try {
    aChange();
  } catch (...) {
    // The tree shows what the command left, then the error goes on.
    FView.RefreshTree();
    throw;
  }
}

void TModulesPresenter::ShowReport(const std::string& aReport) {
  FDialogs.ShowMessage(ApplicationTitle(), QString::fromStdString(aReport));
}

void TModulesPresenter::AddModule() {
  if (FProject == nullptr)
    return;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Select a module");
  Options.Filter = QStringLiteral("Modules (*.so *.bpl *.dll);;All files (*)");
  Options.InitialDir = ExamplesFolder();
  Options.FileMustExist = true;
  if (!FDialogs.OpenFile(Options))
    return;
  const std::string FileName = ToPath(Options.FileName);
  if (FProject->Modules().FindByFileName(FileName) != nullptr)
    return;
  FProject->SetModified();
  TModule* Module = FProject->Modules().AddByFileName(FileName);
  Changing([&] {
    if (!LoadNamingModule(*Module))
      return;
    for (const TUnitTestBase* UnitTest : Module->UnitTestList())
      Module->Assignments().push_back(UnitTest->Name() + "|" + std::string(DefaultScenarioName) +
                                      "|ENABLED");
    // A project without "Default Scenario" leaves the unit tests unassigned,
    // which is no reason for a message here.
    std::string Discarded;
    FProject->LoadAssignments(Module, Discarded);
  });
  FView.RefreshTree();
}

void TModulesPresenter::RemoveModule() {
  TModule* Module = FView.CurrentModule();
  if (!CanRemove(Module))
    return;
  FProject->SetModified();
  Changing([&] { FProject->Modules().Remove(Module); });
  FView.RefreshTree();
}

std::optional<std::string> TModulesPresenter::Load(TModule* aModule) {
  FProject->SetModified();
  if (!LoadNamingModule(*aModule))
    return std::nullopt;
  std::string Report;
  if (FProject->LoadAssignments(aModule, Report))
    return std::nullopt;
  return Report;
}

void TModulesPresenter::LoadModule() {
  TModule* Module = FView.CurrentModule();
  if (!CanRemove(Module))
    return;
  std::optional<std::string> Report;
  Changing([&] { Report = Load(Module); });
  if (Report)
    ShowReport(*Report);
  FView.RefreshTree();
}

void TModulesPresenter::UnloadModule() {
  TModule* Module = FView.CurrentModule();
  if (!CanRemove(Module))
    return;
  FProject->SetModified();
  Changing([&] { Module->UnloadModule(); });
  FView.RefreshTree();
}

void TModulesPresenter::EditProgramSettings() {
  TModule* Module = FView.CurrentModule();
  if (!CanSetUp(Module))
    return;
  TProgramSettings Settings = Module->ProgramSettings();
  QString Arguments = QString::fromStdString(JoinCommandLine(Settings.Arguments));
  QString Environment = QString::fromStdString(JoinCommandLine(Settings.Environment));
  QString Directory = QString::fromStdString(Settings.Directory);
  const QString Caption = QStringLiteral("Program Settings");
  if (!FDialogs.InputQuery(Caption, QStringLiteral("Arguments, as on a command line:"),
                           Arguments) ||
      !FDialogs.InputQuery(Caption, QStringLiteral("Environment, NAME=VALUE separated by blanks:"),
                           Environment) ||
      !FDialogs.InputQuery(
          Caption, QStringLiteral("Working directory (empty: the program's folder):"), Directory))
    return;
  Settings.Arguments = SplitCommandLine(Arguments.toStdString());
  Settings.Environment = SplitCommandLine(Environment.toStdString());
  Settings.Directory = Directory.trimmed().toStdString();
  for (const std::string& Entry : Settings.Environment)
    if (Entry.find('=') == std::string::npos || Entry.front() == '=') {
      FDialogs.ShowError(
          Caption,
          QStringLiteral("\"%1\" is no NAME=VALUE entry").arg(QString::fromStdString(Entry)));
      return;
    }
  if (Settings == Module->ProgramSettings())
    return;
  FProject->SetModified();
  Module->SetProgramSettings(std::move(Settings));
  // The listing depends on them: a module listed or refused is listed again.
  std::optional<std::string> Report;
  if (Module->State() != msNotLoaded)
    Changing([&] {
      Module->UnloadModule();
      Report = Load(Module);
    });
  FView.RefreshTree();
  if (Report)
    ShowReport(*Report);
}

void TModulesPresenter::RemoveAll() {
  if (FProject == nullptr)
    return;
  FProject->SetModified();
  Changing([&] { FProject->Modules().Clear(); });
  FView.RefreshTree();
}

void TModulesPresenter::LoadAll() {
  if (FProject == nullptr)
    return;
  std::string Collected;
  bool Failed = false;
  Changing([&] {
    for (TModule* Module : FProject->Modules()) {
      // A module that is loaded already is skipped.
      if (!LoadNamingModule(*Module))
        continue;
      FProject->SetModified();
      std::string Report;
      if (!FProject->LoadAssignments(Module, Report)) {
        Failed = true;
        Collected += Report;
      }
    }
  });
  FView.RefreshTree();
  if (Failed)
    ShowReport(Collected);
}

void TModulesPresenter::UnloadAll() {
  if (FProject == nullptr)
    return;
  Changing([&] {
    for (TModule* Module : FProject->Modules()) {
      FProject->SetModified();
      Module->UnloadModule();
    }
  });
  FView.RefreshTree();
}

} // namespace Kalvoro
