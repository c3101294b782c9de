// What the modules view does to the project, without any widget: the enabling
// rules and the effects of its seven commands, and the texts and images of its
// rows. The view binds these to its actions and its tree.
#pragma once

#include "ModuleRows.h"
#include "UnitTestBase.h"

#include <QString>

#include <optional>
#include <string>

namespace Kalvoro {

class TProject;

// Images of the modules tree besides the three module states.
inline constexpr int UnitTestImage = 3;
inline constexpr int MethodImage = 4;

class TModulesController {
public:
  TProject* Project() const { return FProject; }
  void SetProject(TProject* aProject) { FProject = aProject; }

  // Enabling rules; aCurrent is the module of the current row, or null when
  // the current row is no module row (or there is none).
  bool CanAdd() const { return FProject != nullptr; }
  bool CanRemove(const TModule* aCurrent) const;
  bool CanLoad(const TModule* aCurrent) const;
  bool CanUnload(const TModule* aCurrent) const;
  bool CanRemoveAll() const { return FProject != nullptr; }
  bool CanLoadAll() const { return FProject != nullptr; }
  bool CanUnloadAll() const { return FProject != nullptr; }

  // Adds the module file unless the project holds exactly this path already,
  // loads it and puts its unit tests into "Default Scenario", enabled, when the
  // project has that scenario. Returns whether a module was added. An error of
  // the load leaves the module in the project.
  bool Add(const std::string& aFileName);
  void Remove(TModule* aModule);
  // Loads the module; returns the report of its assignments when they did not
  // all fit.
  std::optional<std::string> Load(TModule* aModule);
  void Unload(TModule* aModule);
  void RemoveAll();
  // Loads every module that is not loaded; returns the collected reports of
  // those whose assignments did not fit, when any did not.
  std::optional<std::string> LoadAll();
  void UnloadAll();

private:
  TProject* FProject = nullptr;
};

} // namespace Kalvoro
