// What the loader's trials cost: a module's load and unload through TModule
// (start-up and shut-down tried in a trial process first) against the bare
// dlopen and dlclose of the same file, in a small process and in one holding
// a large heap (a manager with a big project open), which a fork would copy
// the page tables of and a spawned trial does not; and 1,000 and 2,000
// distinct modules loaded as a project opens. A file that has loaded and
// unloaded here before is not tried again: the benchmarks say which they
// measure.
#include "ModuleTrial.h"
#include "UnitTestBase.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace Kalvoro;

const std::string DemoPath = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";

// CPU seconds used so far by the children that have ended.
double ChildCpuSeconds() {
  rusage Usage{};
  getrusage(RUSAGE_CHILDREN, &Usage);
  return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
         static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

// Reports the children's CPU time per iteration, in microseconds: the work of
// the trials that the CPU column (this process only) leaves out.
void CountChildCpu(benchmark::State& aState, double aStart) {
  aState.counters["child_cpu_us"] =
      benchmark::Counter((ChildCpuSeconds() - aStart) * 1e6, benchmark::Counter::kAvgIterations);
}

// A heap of aMegabytes, every page of it touched; released with the object.
class THeap {
public:
  explicit THeap(long aMegabytes) : FSize(static_cast<std::size_t>(aMegabytes) << 20) {
    if (FSize > 0) {
      FMemory = std::make_unique<char[]>(FSize);
      std::memset(FMemory.get(), 1, FSize);
    }
  }

private:
  std::size_t FSize;
  std::unique_ptr<char[]> FMemory;
};

void BM_BareDlopenDlclose(benchmark::State& aState) {
  THeap Heap(aState.range(0));
  for (auto _ : aState) {
    void* Handle = dlopen(DemoPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (Handle == nullptr) {
      aState.SkipWithError("the demo module does not load");
      break;
    }
    dlclose(Handle);
  }
}
BENCHMARK(BM_BareDlopenDlclose)->Arg(0)->Arg(256)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Range 1: 1 when each cycle is tried anew (the first load of a file), 0
// when the file has come through here before (a reload).
void BM_LoadAndUnloadModule(benchmark::State& aState) {
  THeap Heap(aState.range(0));
  const bool Tried = aState.range(1) != 0;
  const double Start = ChildCpuSeconds();
  for (auto _ : aState) {
    if (Tried)
      ForgetProvenModules();
    TModule Module(DemoPath);
    if (!Module.LoadModule() || Module.UnitTestList().Count() != 6) {
      aState.SkipWithError("the demo module does not load");
      break;
    }
    Module.UnloadModule();
  }
  CountChildCpu(aState, Start);
}
BENCHMARK(BM_LoadAndUnloadModule)
    ->Args({0, 1})
    ->Args({256, 1})
    ->Args({0, 0})
    ->Args({256, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// 500 modules loaded one after the other and kept, as a large project is
// opened, then unloaded: the time per module should not grow with the count.
void BM_Load500ModulesInARow(benchmark::State& aState) {
  const double Start = ChildCpuSeconds();
  for (auto _ : aState) {
    ForgetProvenModules();
    std::vector<std::unique_ptr<TModule>> Modules;
    for (int I = 0; I < 500; ++I) {
      Modules.push_back(std::make_unique<TModule>(DemoPath));
      Modules.back()->LoadModule();
    }
    aState.PauseTiming();
    for (auto& Module : Modules)
      Module->UnloadModule();
    aState.ResumeTiming();
  }
  CountChildCpu(aState, Start);
}
BENCHMARK(BM_Load500ModulesInARow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Distinct module files (stripped copies of the demo module), as many as a
// large project has, in a folder removed with the object.
class TModuleCopies {
public:
  explicit TModuleCopies(int aCount) {
    char Template[] = "/tmp/kalvoro-load-XXXXXX";
    if (mkdtemp(Template) == nullptr)
      return;
    FFolder = Template;
    const std::string Stripped = FFolder + "/stripped.so";
    const std::string Strip = "strip --strip-debug -o '" + Stripped + "' '" + DemoPath + "'";
    if (std::system(Strip.c_str()) != 0)
      return;
    for (int I = 0; I < aCount; ++I) {
      Paths.push_back(FFolder + "/Module" + std::to_string(I) + ".so");
      std::filesystem::copy_file(Stripped, Paths.back());
    }
  }
  ~TModuleCopies() {
    if (!FFolder.empty())
      std::filesystem::remove_all(FFolder);
  }
  std::vector<std::string> Paths;

private:
  std::string FFolder;
};

// A project's modules loaded and kept: all tried in one trial process first
// (range 1: 1) or each in a trial of its own (0). Linear in the count when
// the time per module stays the same from 1,000 to 2,000. Range 2: 1 when
// the project was opened and closed before, so that no module is tried.
void BM_LoadDistinctModules(benchmark::State& aState) {
  const TModuleCopies Copies(static_cast<int>(aState.range(0)));
  const bool Together = aState.range(1) != 0;
  if (aState.range(2) != 0)
    for (const std::string& Path : Copies.Paths) {
      TModule Module(Path);
      Module.LoadModule();
    }
  const double Start = ChildCpuSeconds();
  for (auto _ : aState) {
    std::vector<std::unique_ptr<TModule>> Modules;
    {
      std::optional<TLoadTrials> Trials;
      if (Together)
        Trials.emplace(Copies.Paths);
      for (const std::string& Path : Copies.Paths) {
        Modules.push_back(std::make_unique<TModule>(Path));
        Modules.back()->LoadModule();
      }
    }
    aState.PauseTiming();
    Modules.clear();
    aState.ResumeTiming();
  }
  CountChildCpu(aState, Start);
}
BENCHMARK(BM_LoadDistinctModules)
    ->Args({1000, 1, 0})
    ->Args({2000, 1, 0})
    ->Args({1000, 0, 0})
    ->Args({2000, 0, 0})
    ->Args({1000, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
