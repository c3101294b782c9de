// Saving and loading project files: many modules (not loaded) with 100
// assignment lines each, and many scenarios. Each is measured at two sizes, so
// that the ratio shows how the cost grows with the file.
#include "IniFile.h"
#include "Project.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace Kalvoro;

constexpr int LinesPerModule = 100;

std::string ScratchFile(const char* aName) {
  return (std::filesystem::temp_directory_path() /
          ("kalvoro-bench-" + std::to_string(::getpid()) + "-" + aName))
      .string();
}

// A project of aModules modules that are not loaded, each with 100 lines
// spread over ten scenarios.
std::unique_ptr<TProject> ModulesProject(int aModules, const std::string& aFileName) {
  auto Project = std::make_unique<TProject>();
  Project->SetFileName(aFileName);
  for (int Index = 1; Index < 10; ++Index)
    Project->Scenarios().AddByName("Scenario " + std::to_string(Index));
  for (int Index = 0; Index < aModules; ++Index) {
    TModule* Module = Project->Modules().AddByFileName("/opt/tests/modules/TestModule" +
                                                       std::to_string(Index) + ".so");
    for (int Line = 0; Line < LinesPerModule; ++Line)
      Module->Assignments().push_back("TUnitTestNumber" + std::to_string(Line) + "|" +
                                      Project->Scenarios()[Line % 10]->Name() + "|" +
                                      (Line % 3 != 0 ? "ENABLED" : "DISABLED"));
  }
  return Project;
}

// A project of aScenarios scenarios. Adding them one by one checks each name
// against all before it, so the project is built by reading a file instead.
std::unique_ptr<TProject> ScenariosProject(int aScenarios, const std::string& aFileName) {
  {
    TProject Writer;
    Writer.SetFileName(aFileName);
    Writer.SaveProject();
  }
  TIniFile Ini = TIniFile::Load(aFileName);
  Ini.WriteInteger("Project", "ScenarioCount", aScenarios);
  for (int Index = 0; Index < aScenarios; ++Index)
    Ini.WriteString("Scenarios", "Name" + std::to_string(Index),
                    "Nightly regression scenario " + std::to_string(Index));
  Ini.UpdateFile();
  auto Project = std::make_unique<TProject>(aFileName);
  std::string Report;
  Project->LoadProject(Report);
  return Project;
}

void SetFileCounters(benchmark::State& aState, const std::string& aFileName) {
  const auto Bytes = static_cast<double>(std::filesystem::file_size(aFileName));
  aState.counters["file_MB"] = Bytes / 1e6;
  aState.SetBytesProcessed(static_cast<std::int64_t>(aState.iterations() * Bytes));
}

template <auto aBuild> void BM_Save(benchmark::State& aState, const char* aName) {
  const std::string FileName = ScratchFile(aName);
  const auto Project = aBuild(static_cast<int>(aState.range(0)), FileName);
  for (auto _ : aState)
    Project->SaveProject();
  SetFileCounters(aState, FileName);
  std::remove(FileName.c_str());
}

template <auto aBuild> void BM_Load(benchmark::State& aState, const char* aName) {
  const std::string FileName = ScratchFile(aName);
  aBuild(static_cast<int>(aState.range(0)), FileName)->SaveProject();
  for (auto _ : aState) {
    auto Project = std::make_unique<TProject>(FileName);
    std::string Report;
    benchmark::DoNotOptimize(Project->LoadProject(Report));
    aState.PauseTiming();
    Project.reset();
    aState.ResumeTiming();
  }
  SetFileCounters(aState, FileName);
  std::remove(FileName.c_str());
}

void BM_SaveModules(benchmark::State& aState) {
  BM_Save<ModulesProject>(aState, "modules.kvr");
}
void BM_LoadModules(benchmark::State& aState) {
  BM_Load<ModulesProject>(aState, "modules.kvr");
}
void BM_SaveScenarios(benchmark::State& aState) {
  BM_Save<ScenariosProject>(aState, "scenarios.kvr");
}
void BM_LoadScenarios(benchmark::State& aState) {
  BM_Load<ScenariosProject>(aState, "scenarios.kvr");
}

// Reading a file of aState.range(0) empty section headers through the INI
// layer; each empty section is to cost about its name.
void BM_ReadEmptySections(benchmark::State& aState) {
  const std::string FileName = ScratchFile("sections.kvr");
  {
    std::ofstream File(FileName, std::ios::binary);
    for (std::int64_t Index = 0; Index < aState.range(0); ++Index)
      File << "[S" << Index << "]\r\n";
  }
  for (auto _ : aState)
    benchmark::DoNotOptimize(TIniFile::Load(FileName).SectionExists("S0"));
  SetFileCounters(aState, FileName);
  std::remove(FileName.c_str());
}

} // namespace

BENCHMARK(BM_SaveModules)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadModules)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveScenarios)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadScenarios)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadEmptySections)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
