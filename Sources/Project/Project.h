// The project: its modules, its scenarios, the report-file settings, and the
// project file that stores them.
#pragma once

#include "ReportPages.h"
#include "UnitTestBase.h"

#include <memory>
#include <string>
#include <string_view>

namespace Kalvoro {

class TProject;

// Every defect of a project file that LoadProject finds.
class ELoadProject : public Exception {
public:
  using Exception::Exception;
};

// Text of the error raised when a scenario name is already in use.
inline constexpr std::string_view DuplicateScenarioMessage =
    "Cannot add this test scenario.\rA TestScenario with this name already exists";

// The name of the scenario that a new project starts with.
inline constexpr std::string_view DefaultScenarioName = "Default Scenario";

// The folder of the running program, with its trailing '/' (empty when it
// cannot be found out).
std::string ExecutableDirectory();

// The project's modules, in the order they were added. Owns them: removing a
// module, clearing the list or destroying it destroys the modules (a loaded
// module unloads itself first).
class TModuleList {
public:
  TModuleList() = default;
  TModuleList(const TModuleList&) = delete;
  TModuleList& operator=(const TModuleList&) = delete;

  int Count() const { return FItems.Count(); }
  TModule* GetItem(int aIndex) const { return FItems.GetItem(aIndex); }
  TModule* operator[](int aIndex) const { return FItems.GetItem(aIndex); }
  int IndexOf(const TModule* aModule) const { return FItems.IndexOf(aModule); }

  // Creates a module for the path (not loaded) and appends it. Does not look
  // for a module with the same path.
  TModule* AddByFileName(std::string aFileName);
  // The first module whose FullFileName equals aFileName exactly, or nullptr.
  TModule* FindByFileName(std::string_view aFileName) const;
  // Takes the module out of the list and destroys it; returns its former index
  // (-1 when the list does not hold it, which changes nothing).
  int Remove(TModule* aModule);
  void Delete(int aIndex) { FItems.Delete(aIndex); }
  void Clear() { FItems.Clear(); }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  TTypedList<TModule> FItems{true};
};

// The project's scenarios, in the order they were added, names unique (exact
// comparison). Owns them like TModuleList owns its modules.
class TTestScenarioList {
public:
  TTestScenarioList() = default;
  TTestScenarioList(const TTestScenarioList&) = delete;
  TTestScenarioList& operator=(const TTestScenarioList&) = delete;

  int Count() const { return FItems.Count(); }
  TTestScenario* GetItem(int aIndex) const { return FItems.GetItem(aIndex); }
  TTestScenario* operator[](int aIndex) const { return FItems.GetItem(aIndex); }
  int IndexOf(const TTestScenario* aScenario) const { return FItems.IndexOf(aScenario); }

  // Appends the scenario and returns its index. When a scenario of the same
  // name is in the list, raises Exception(DuplicateScenarioMessage), adds
  // nothing and destroys aScenario. A null scenario fails an assertion.
  int Add(std::unique_ptr<TTestScenario> aScenario);
  // Creates a scenario of that name (cut to 255 characters) and appends it,
  // with the same duplicate check as Add.
  TTestScenario* AddByName(std::string_view aName);
  // The first scenario whose name equals aName exactly, or nullptr.
  TTestScenario* FindByName(std::string_view aName) const;
  // Takes the scenario out of the list and destroys it; its unit tests are
  // left unassigned. Returns its former index, or -1 when it is not listed.
  int Remove(TTestScenario* aScenario);
  void Delete(int aIndex) { FItems.Delete(aIndex); }
  // Empties every scenario, then destroys them all.
  void Clear();

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

private:
  friend class TProjectFile;
  // Appends without the duplicate check; the caller has made sure.
  void Append(std::unique_ptr<TTestScenario> aScenario);

  TTypedList<TTestScenario> FItems{true};
};

// The most unit tests that a run may have running at once.
inline constexpr int MaxJobs = 256;

// How the programs run the project's tests. Kept in the project file only
// where a value differs from its default, so a file that never changed them
// stays as it was.
struct TProjectOptions {
  // In host processes of their own (true), or inside the program's process.
  bool Hosts = true;
  // Whole seconds that each Init, method and Exit may run; 0: no limit.
  int TimeLimit = 0;
  // Unit tests that run at once, each in a host of its own (in hosts only).
  int Jobs = 1;
  // The unit tests that never run beside another, as a filter's pattern
  // ("POSITIVE[-NEGATIVE]" over "TUnitTest.Method"); empty: none.
  std::string Serial{};

  bool operator==(const TProjectOptions&) const = default;
};

// The unit of the user's work: modules, scenarios, memberships (as assignment
// lines while a module is not loaded), report settings and run options.
class TProject {
public:
  // With an empty file name the project starts with the one scenario "Default
  // Scenario"; otherwise it starts empty and the caller reads the file at once
  // with LoadProject. Modified is true either way.
  explicit TProject(std::string aFileName = {});
  // Empties every scenario, then destroys the scenarios, the modules (which
  // unload themselves) and the report settings, in this order.
  ~TProject();
  TProject(const TProject&) = delete;
  TProject& operator=(const TProject&) = delete;

  TTestScenarioList& Scenarios() { return FScenarios; }
  const TTestScenarioList& Scenarios() const { return FScenarios; }
  TModuleList& Modules() { return FModules; }
  const TModuleList& Modules() const { return FModules; }
  TFileInfo& FileInfo() { return *FFileInfo; }
  const TFileInfo& FileInfo() const { return *FFileInfo; }
  const std::string& FileName() const { return FFileName; }
  bool Modified() const { return FModified; }
  const TProjectOptions& Options() const { return FOptions; }
  // Marks the project modified. A negative time limit fails an assertion.
  void SetOptions(const TProjectOptions& aOptions);

  void SetModified() { FModified = true; }
  // Save As: stores the name and marks the project modified.
  void SetFileName(std::string aFileName);
  // A file name as the programs open it (the report files): a relative name
  // counts from the project file's folder; an empty or absolute name, or any
  // name while the project file has no folder, is returned as it is.
  std::string ResolvePath(const std::string& aPath) const;

  // Puts the unit tests of a just-loaded module into their scenarios following
  // its assignment lines, which it consumes. Appends to aReport a header line
  // and one line per defect (each ended by one carriage return); returns false
  // when any line did not fit or a unit test ended up without a scenario. The
  // module must be present and loaded (an assertion guards it).
  bool LoadAssignments(TModule* aModule, std::string& aReport);

  // Reads the file named FileName into this fresh project and loads the
  // modules that were loaded when it was saved. Returns false when some
  // module's assignments did not fit or an option's value could not be read
  // (the option keeps its default); aReport then holds those reports.
  // Defects of the file raise ELoadProject (or the duplicate-name Exception,
  // or a module's TModuleException); what was read before stays.
  bool LoadProject(std::string& aReport);
  // The path of the module whose load raised the error that LoadProject
  // raised; empty when the error was none of a module's.
  const std::string& LoadErrorModule() const { return FLoadErrorModule; }
  // Writes the whole project to FileName, replacing the file atomically. A
  // failure raises Exception("Unable to write to <FileName>...") and leaves an
  // existing file as it was. Modified is false afterwards either way.
  void SaveProject();

private:
  friend class TProjectFile;

  TTestScenarioList FScenarios;
  TModuleList FModules;
  bool FModified = true;
  std::string FFileName;
  std::string FLoadErrorModule;
  TProjectOptions FOptions;
  std::unique_ptr<TFileInfo> FFileInfo;
};

// The outcome of opening a project file the way the manager opens one.
struct TOpenProjectResult {
  // Always set: the project named after the file, holding whatever was read.
  std::unique_ptr<TProject> Project;
  // LoadProject completed and every module's assignments fitted.
  bool Success = false;
  // The load report (lines ended by a carriage return) when LoadProject
  // returned false; empty otherwise.
  std::string Report;
  // The message of the error that stopped the reading; empty when none did.
  std::string Error;
};

// Constructs a project for aFileName and reads the file into it, catching the
// error that stops the reading (any std::exception) into the result.
TOpenProjectResult OpenProject(const std::string& aFileName);

} // namespace Kalvoro
