// The project file: reading a project from it and writing a project to it
// (TProject's LoadProject and SaveProject say how).
#pragma once

#include "Project.h"

#include <memory>
#include <string>

namespace Kalvoro {

class TProjectFile {
public:
  explicit TProjectFile(TProject& aProject)
      : FProject(aProject), FScenarios(aProject.FScenarios), FModules(aProject.FModules),
        FModified(aProject.FModified), FFileName(aProject.FFileName),
        FLoadErrorModule(aProject.FLoadErrorModule), FOptions(aProject.FOptions),
        FFileInfo(aProject.FFileInfo) {}
  TProjectFile(const TProjectFile&) = delete;
  TProjectFile& operator=(const TProjectFile&) = delete;

  // Reads the project's file into it: TProject::LoadProject.
  bool Read(std::string& aReport);
  // Writes the project to its file: TProject::SaveProject.
  void Write();

private:
  bool LoadAssignments(TModule* aModule, std::string& aReport) {
    return FProject.LoadAssignments(aModule, aReport);
  }

  // The project and the parts of it that the file holds.
  TProject& FProject;
  TTestScenarioList& FScenarios;
  TModuleList& FModules;
  bool& FModified;
  const std::string& FFileName;
  std::string& FLoadErrorModule;
  TProjectOptions& FOptions;
  const std::unique_ptr<TFileInfo>& FFileInfo;
};

} // namespace Kalvoro
