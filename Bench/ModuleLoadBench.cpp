// What loading costs: a module's load and unload through TModule, as a run
// in process takes it, against the bare dlopen and dlclose of the same file,
// in a small process and in one holding a large heap (a manager with a big
// project open); and 1,000 and 2,000 distinct modules listed by run hosts as
// a project opens, against mapping, enumerating and unmapping them here.
#include "HostLister.h"
#include "ModuleTrial.h"
#include "UnitTestBase.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// CPU time of the ended and reaped child processes (the hosts), in ms.
double ChildrenCpuMs() {
  rusage Usage{};
  getrusage(RUSAGE_CHILDREN, &Usage);
  const auto Ms = [](const timeval& aTime) { return aTime.tv_sec * 1e3 + aTime.tv_usec / 1e3; };
  return Ms(Usage.ru_utime) + Ms(Usage.ru_stime);
}

using namespace Kalvoro;

const std::string DemoPath = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";

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

// A module's load and unload as a program loads it for a run in process:
// the file was listed by a host, so no trial.
void BM_LoadAndUnloadModule(benchmark::State& aState) {
  THeap Heap(aState.range(0));
  SetLoadTrialsEnabled(false);
  for (auto _ : aState) {
    TModule Module(DemoPath);
    if (!Module.LoadModule() || Module.UnitTestList().Count() != 6) {
      aState.SkipWithError("the demo module does not load");
      break;
    }
    Module.UnloadModule();
  }
  SetLoadTrialsEnabled(true);
}
BENCHMARK(BM_LoadAndUnloadModule)->Arg(0)->Arg(256)->Unit(benchmark::kMicrosecond)->UseRealTime();

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

// The anchor of a listing: each file mapped here, its unit tests
// enumerated and created, and unmapped, with nothing of the framework's
// loader in between.
void BM_BareListDistinctModules(benchmark::State& aState) {
  const TModuleCopies Copies(static_cast<int>(aState.range(0)));
  if (Copies.Paths.size() != static_cast<std::size_t>(aState.range(0))) {
    aState.SkipWithError("the module copies could not be made");
    return;
  }
  for (auto _ : aState) {
    for (const std::string& Path : Copies.Paths) {
      void* Handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (Handle == nullptr) {
        aState.SkipWithError("a module does not load");
        return;
      }
      TModule Module(Path);
      const auto Register = reinterpret_cast<TRegisterEntry>(dlsym(Handle, "Register"));
      const auto Enumerate =
          reinterpret_cast<TEnumRegisteredUnitTestsEntry>(dlsym(Handle, "EnumRegisteredUnitTests"));
      Register();
      TEnumUnitTestProc Proc;
      Proc.Object = &Module;
      Proc.Code = [](void* aObject, const TUnitTestBaseClass* aClass, const TFixtureBaseClass*,
                     void*) {
        std::unique_ptr<TUnitTestBase> UnitTest(
            aClass->Create(static_cast<TModule*>(aObject), aClass->Name));
        UnitTest->Register();
      };
      Enumerate(Proc, nullptr);
      dlclose(Handle);
    }
  }
}
BENCHMARK(BM_BareListDistinctModules)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// A project's modules listed by run hosts, as the programs open it: the
// lister is told which modules come (aState.range(1) == 1, as a project
// file's opening does) or not (0: modules loaded one by one, each a round
// trip), and one host lists them one after another and keeps them. Linear
// in the count when the time per module stays the same from 1,000 to 2,000.
void BM_ListDistinctModules(benchmark::State& aState) {
  const TModuleCopies Copies(static_cast<int>(aState.range(0)));
  if (Copies.Paths.size() != static_cast<std::size_t>(aState.range(0))) {
    aState.SkipWithError("the module copies could not be made");
    return;
  }
  // The hosts' CPU, their end included (it comes when the modules are
  // forgotten, outside the timed part), beside the runner's own CPU column.
  const double ChildrenBefore = ChildrenCpuMs();
  for (auto _ : aState) {
    THostLister Lister;
    const TModuleListerScope Listing(&Lister);
    std::vector<std::unique_ptr<TModule>> Modules;
    std::vector<const TModule*> Coming;
    for (const std::string& Path : Copies.Paths) {
      Modules.push_back(std::make_unique<TModule>(Path));
      Coming.push_back(Modules.back().get());
    }
    if (aState.range(1) != 0)
      ExpectListings(Coming);
    for (const auto& Module : Modules)
      if (!Module->LoadModule()) {
        aState.SkipWithError("a module was not listed");
        return;
      }
    aState.PauseTiming();
    Modules.clear();
    Lister.EndHosts();
    aState.ResumeTiming();
  }
  aState.counters["hosts_cpu_ms"] = ChildrenCpuMs() - ChildrenBefore;
}
BENCHMARK(BM_ListDistinctModules)
    ->Args({1000, 1})
    ->Args({2000, 1})
    ->Args({1000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
