// The project file: reading a project from it, writing a project to it, and
// opening one the way the manager does.
#include "ProjectFile.h"

#include "Project.h"

#include "IniFile.h"
#include "ModuleLister.h"
#include "ProgramSettings.h"
#include "ProjectOptions.h"
#include "ProjectText.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace Kalvoro {

namespace {

constexpr std::string_view SectionProject = "Project";
constexpr std::string_view SectionFileInfo = "FileInfo";
constexpr std::string_view SectionScenarios = "Scenarios";
constexpr std::string_view SectionModules = "Modules";
constexpr std::string_view Signature = "Kalvoro";
constexpr std::string_view FileVersion = "1.0";
// The absolute folder of a project file, with its trailing '/'.
std::string ProjectFolder(const std::string& aFileName) {
  std::error_code Error;
  const std::filesystem::path Absolute = std::filesystem::absolute(aFileName, Error);
  if (Error)
    return {};
  std::string Folder = Absolute.parent_path().string();
  if (Folder.empty() || Folder.back() != '/')
    Folder += '/';
  return Folder;
}

std::string IndexedKey(std::string_view aPrefix, int aIndex) {
  std::string Key(aPrefix);
  Key += std::to_string(aIndex);
  return Key;
}

// Shows line breaks as \r and \n, so that a refused name reads as one line.
std::string Visible(std::string_view aText) {
  std::string Result;
  for (const char Char : aText) {
    if (Char == '\r')
      Result += "\\r";
    else if (Char == '\n')
      Result += "\\n";
    else
      Result += Char;
  }
  return Result;
}

// Runs an action when the scope is left, however it is left.
template <class TAction> class TOnExit {
public:
  explicit TOnExit(TAction aAction) : FAction(std::move(aAction)) {}
  ~TOnExit() { FAction(); }
  TOnExit(const TOnExit&) = delete;
  TOnExit& operator=(const TOnExit&) = delete;

private:
  TAction FAction;
};

bool FileExists(const std::string& aFileName) {
  struct stat Status {};
  return !aFileName.empty() && ::stat(aFileName.c_str(), &Status) == 0 && !S_ISDIR(Status.st_mode);
}

} // namespace

bool TProjectFile::Read(std::string& aReport) {
  aReport.clear();
  bool Result = true;
  if (!FileExists(FFileName))
    throw ELoadProject("The file " + Quoted(FFileName) + " does not exist");
  // A file that is there but cannot be read is told as such, with the reason.
  if (const int Handle = ::open(FFileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); Handle >= 0)
    ::close(Handle);
  else
    throw ELoadProject("Cannot read the file " + Quoted(FFileName) + "\r" + std::strerror(errno));

  // However the reading ends, the project matches what was read.
  const TOnExit ClearModified([this] { FModified = false; });

  const TIniFile Ini = TIniFile::Load(FFileName);

  if (Ini.ReadString(SectionProject, "Signature", "") != Signature ||
      Ini.ReadString(SectionProject, "FileVersion", "") != FileVersion)
    throw ELoadProject("Cannot read the file " + Quoted(FFileName) +
                       "\rThe file is not a Kalvoro(.kvr) file or the version is not correct");

  const std::int32_t ModuleCount = Ini.ReadInteger(SectionProject, "ModuleCount", -1);
  const std::int32_t ScenarioCount = Ini.ReadInteger(SectionProject, "ScenarioCount", -1);
  if (ModuleCount == -1 || ScenarioCount == -1)
    throw ELoadProject("Invalid file\rModuleCount or ScenarioCount not found");

  // Names already taken; the scenarios are checked against it rather than by
  // scanning the list, which would make reading large projects quadratic.
  // The scenarios keep their names while the file is read, so the set can
  // refer to them.
  std::unordered_set<std::string_view> Names;
  for (const TTestScenario* Scenario : FScenarios)
    Names.insert(Scenario->Name());
  auto AddScenario = [&](std::string_view aName) {
    auto Scenario = std::make_unique<TTestScenario>(aName);
    if (!Names.insert(Scenario->Name()).second)
      throw Exception(std::string(DuplicateScenarioMessage));
    FScenarios.Append(std::move(Scenario));
  };

  if (ScenarioCount == 0)
    AddScenario(DefaultScenarioName);

  for (TPageKind Kind : PageKinds)
    for (const char* Field : {"Enabled", "FileName"})
      if (!Ini.ValueExists(SectionFileInfo, PageKey(Kind) + std::string(Field)))
        throw ELoadProject("Invalid file\rFileInfo section is corrupt");
  for (TPageKind Kind : PageKinds) {
    const std::string Key = PageKey(Kind);
    FFileInfo->SetFileName(Kind, Ini.ReadString(SectionFileInfo, Key + "FileName", ""));
    FFileInfo->SetEnabled(Kind, Ini.ReadBool(SectionFileInfo, Key + "Enabled", true));
  }
  if (!ReadProjectOptions(Ini, FOptions, aReport))
    Result = false;

  for (std::int32_t Index = 0; Index < ScenarioCount; ++Index) {
    const auto Name = Ini.Find(SectionScenarios, IndexedKey("Name", Index));
    if (!Name)
      throw ELoadProject("Failed to open project\rScenarios section is corrupt");
    AddScenario(*Name);
  }

  const std::string Folder = ProjectFolder(FFileName);
  std::vector<TModule*> ToLoad;
  for (std::int32_t Index = 0; Index < ModuleCount; ++Index) {
    const std::string FileKey = IndexedKey("File", Index);
    const std::string LoadKey = IndexedKey("Load", Index);
    const std::string CountKey = IndexedKey("AssignmentCount", Index);
    if (!Ini.ValueExists(SectionModules, FileKey) || !Ini.ValueExists(SectionModules, LoadKey) ||
        !Ini.ValueExists(SectionModules, CountKey))
      throw ELoadProject("Failed to open project\rModule section is corrupt");
    const std::string Path = Ini.ReadString(SectionModules, FileKey, "");
    TModule* Module = FModules.AddByFileName(Path);
    // A relative module path counts from the project file's folder.
    Module->SetBaseDirectory(Folder);
    const bool Load = Ini.ReadBool(SectionModules, LoadKey, false);
    const std::int32_t LineCount = Ini.ReadInteger(SectionModules, CountKey, -1);
    for (std::int32_t Line = 0; Line < LineCount; ++Line) {
      const auto Value = Ini.Find(Path, IndexedKey("Assign", Line));
      if (!Value)
        throw ELoadProject("Failed to open project\rSection " + Quoted(Path) + " is corrupt");
      Module->Assignments().emplace_back(*Value);
    }
    Module->SetProgramSettings(ReadProgramSettings(Ini, Path));
    if (Load)
      ToLoad.push_back(Module);
  }
  // The modules load once the file has been read whole, in its order; the
  // lister is told which come, so that it can list one while the one
  // before is taken in.
  ExpectListings({ToLoad.begin(), ToLoad.end()});
  std::exception_ptr FirstLoadError;
  for (TModule* Module : ToLoad) {
    // A module that fails to load stays with its assignment lines; the
    // modules after it are still loaded, then the first load error goes
    // on, so that saving loses nothing.
    try {
      Module->LoadModule();
    } catch (...) {
      if (!FirstLoadError) {
        FirstLoadError = std::current_exception();
        FLoadErrorModule = Module->FullFileName();
      }
    }
    if (Module->State() == msLoadSuccess) {
      std::string Text;
      if (!LoadAssignments(Module, Text)) {
        Result = false;
        aReport += Text;
      }
    }
  }
  if (FirstLoadError)
    std::rethrow_exception(FirstLoadError);
  return Result;
}

void TProjectFile::Write() {
  KALVORO_ASSERT(!FFileName.empty());
  const TOnExit ClearModified([this] { FModified = false; });

  // Names and paths go into single lines of the file; one holding a line
  // break would split its line and corrupt what follows, so refuse it before
  // anything is written.
  for (const TTestScenario* Scenario : FScenarios)
    if (HasLineBreak(Scenario->Name()))
      throw Exception("Unable to write to " + FFileName + "\rThe scenario name " +
                      Quoted(Visible(Scenario->Name())) + " contains a line break");
  for (const TModule* Module : FModules) {
    if (HasLineBreak(Module->FullFileName()))
      throw Exception("Unable to write to " + FFileName + "\rThe module path " +
                      Quoted(Visible(Module->FullFileName())) + " contains a line break");
    if (const std::string* Setting = SettingWithLineBreak(Module->ProgramSettings()))
      throw Exception("Unable to write to " + FFileName + "\rThe setting " +
                      Quoted(Visible(*Setting)) + " of " + Quoted(Module->FullFileName()) +
                      " contains a line break");
  }

  TIniFile Ini(FFileName);
  Ini.WriteString(SectionProject, "Signature", Signature);
  Ini.WriteString(SectionProject, "FileVersion", FileVersion);
  Ini.WriteInteger(SectionProject, "ModuleCount", FModules.Count());
  Ini.WriteInteger(SectionProject, "ScenarioCount", FScenarios.Count());

  for (TPageKind Kind : PageKinds) {
    const std::string Key = PageKey(Kind);
    Ini.WriteBool(SectionFileInfo, Key + "Enabled", FFileInfo->Page(Kind).Enabled);
    Ini.WriteString(SectionFileInfo, Key + "FileName", FFileInfo->Page(Kind).FileName);
  }
  WriteProjectOptions(Ini, FOptions);

  for (int Index = 0; Index < FScenarios.Count(); ++Index)
    Ini.WriteString(SectionScenarios, IndexedKey("Name", Index), FScenarios[Index]->Name());

  for (int Index = 0; Index < FModules.Count(); ++Index) {
    TModule* Module = FModules[Index];
    Ini.WriteString(SectionModules, IndexedKey("File", Index), Module->FullFileName());
    const bool Loaded = Module->State() == msLoadSuccess;
    Ini.WriteBool(SectionModules, IndexedKey("Load", Index), Loaded);
    if (Loaded)
      Module->SaveAssignments();
    Ini.WriteInteger(SectionModules, IndexedKey("AssignmentCount", Index),
                     static_cast<std::int32_t>(Module->Assignments().size()));
  }

  for (const TModule* Module : FModules) {
    const std::vector<std::string>& Lines = Module->Assignments();
    for (std::size_t Line = 0; Line < Lines.size(); ++Line)
      Ini.WriteString(Module->FullFileName(), IndexedKey("Assign", static_cast<int>(Line)),
                      Lines[Line]);
    if (!Module->ProgramSettings().Empty())
      WriteProgramSettings(Ini, Module->FullFileName(), Module->ProgramSettings());
  }

  Ini.UpdateFile();
}

// ---------------------------------------------------------------------------

TOpenProjectResult OpenProject(const std::string& aFileName) {
  TOpenProjectResult Result;
  Result.Project = std::make_unique<TProject>(aFileName);
  try {
    std::string Report;
    Result.Success = Result.Project->LoadProject(Report);
    if (!Result.Success)
      Result.Report = std::move(Report);
  } catch (const std::exception& Error) {
    Result.Success = false;
    Result.Error = Error.what();
  }
  return Result;
}

} // namespace Kalvoro
