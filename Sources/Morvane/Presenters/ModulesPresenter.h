// What the modules view shows and does, without any widget: the rows of its
// tree (modules, their unit tests and test methods) and its seven commands,
// which add module files to the project, remove them, and load and unload one
// module or all of them.
#pragma once

#include "Command.h"
#include "ModuleRows.h"
#include "RowFilter.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Kalvoro {

class IDialogs;
class TProject;

// What the presenter asks of the view.
class IModulesView {
public:
  virtual ~IModulesView() = default;

  // The module of the current row, or null when the current row is no module
  // row (or there is none).
  virtual TModule* CurrentModule() const = 0;
  // Rebuilds the tree from the presenter's Rows, keeping the selection by
  // position.
  virtual void RefreshTree() = 0;
};

class TModulesPresenter {
public:
  TModulesPresenter(IDialogs& aDialogs, IModulesView& aView);
  TModulesPresenter(const TModulesPresenter&) = delete;
  TModulesPresenter& operator=(const TModulesPresenter&) = delete;

  // The project from the view's activation to its deactivation; null: the
  // view shows nothing and offers no command.
  TProject* Project() const { return FProject; }
  void SetProject(TProject* aProject) { FProject = aProject; }

  // actAddModule, actRemoveModule, actLoadModule, actUnloadModule, a
  // separator, actRemoveAll, actLoadAll, actUnloadAll, and in the menus
  // after a separator actProgramSettings. Every command that
  // changes the project rebuilds the tree when it ends, also when it ends in an
  // error, which then goes on to the caller.
  const TCommandList& Commands() const { return FCommands; }

  // The rows of the project's modules; none without a project.
  std::vector<TModuleRow> Rows() const;

  // The filter box: its text, and the rows of aRows (Rows()) that it hides
  // by flat index (empty: none).
  void SetFilter(const QString& aText) { FFilterText = aText; }
  const QString& FilterText() const { return FFilterText; }
  std::vector<char> HiddenRows(const std::vector<TModuleRow>& aRows) const;

  // The folder the module file dialog starts in.
  static QString ExamplesFolder();

private:
  // The enabling rules: aCurrent is the module of the current row or null.
  bool CanRemove(const TModule* aCurrent) const;
  bool CanLoad(const TModule* aCurrent) const;
  bool CanUnload(const TModule* aCurrent) const;
  // Program settings: for a module listed (or refused) as a test program.
  bool CanSetUp(const TModule* aCurrent) const;

  void AddModule();
  void RemoveModule();
  void LoadModule();
  void UnloadModule();
  void RemoveAll();
  void LoadAll();
  void UnloadAll();
  // Asks for the program's arguments, environment and working directory,
  // and lists it again with them.
  void EditProgramSettings();
  // Runs a change of the project; when it raises, rebuilds the tree first.
  void Changing(const std::function<void()>& aChange);
  // Loads the module; the report of its assignments when they did not all fit.
  std::optional<std::string> Load(TModule* aModule);
  void ShowReport(const std::string& aReport);

  IDialogs& FDialogs;
  IModulesView& FView;
  TProject* FProject = nullptr;
  TCommandList FCommands;
  QString FFilterText;
};

} // namespace Kalvoro
