// Loads and unloads one module over and over, as the manager does when a user
// reloads a rebuilt module: the time per LoadModule + UnloadModule cycle, and
// whether the process grows from cycle to cycle; then as many bare dlopen
// and dlclose of the same file, the anchor of a cycle's time in the same run.
//
//   loadcycle MODULE UNIT_TESTS CYCLES
//
// Prints "key value" lines; exits 1 when a load does not create UNIT_TESTS unit
// tests or a cycle fails.
#include "UnitTestBase.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

// Exported by the framework (ModuleTrial.h), which installs no header for it.
namespace Kalvoro {
void SetLoadTrialsEnabled(bool aEnabled);
} // namespace Kalvoro

namespace {

// Resident set size now, in KiB. Read without the heap, which is measured too.
long ResidentKiB() {
  char Text[128] = {};
  const int File = open("/proc/self/statm", O_RDONLY);
  if (File < 0)
    return 0;
  const ssize_t Length = read(File, Text, sizeof Text - 1);
  close(File);
  long Pages = 0;
  long Resident = 0;
  if (Length <= 0 || std::sscanf(Text, "%ld %ld", &Pages, &Resident) != 2)
    return 0;
  return Resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The process's CPU time (user and system) in milliseconds: on a machine
// that others share, what a cycle costs whatever else runs.
double CpuMilliseconds() {
  timespec Now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
  return static_cast<double>(Now.tv_sec) * 1e3 + static_cast<double>(Now.tv_nsec) / 1e6;
}

// Bytes of heap that are allocated and not freed.
long HeapInUse() {
  return static_cast<long>(mallinfo2().uordblks);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: loadcycle MODULE UNIT_TESTS CYCLES\n");
    return 2;
  }
  const int Expected = std::atoi(argv[2]);
  const int Cycles = std::max(1, std::atoi(argv[3]));
  // The first cycles fill the loader's and the allocator's caches; growth is
  // measured from here on.
  const int Warmup = std::min(10, Cycles);
  // Reserved up front: the driver's own bookkeeping must not look like growth.
  std::vector<double> Milliseconds;
  Milliseconds.reserve(static_cast<std::size_t>(Cycles));
  std::vector<double> Bare;
  Bare.reserve(static_cast<std::size_t>(Cycles));
  std::vector<double> Cpu;
  Cpu.reserve(static_cast<std::size_t>(Cycles));
  std::vector<double> BareCpu;
  BareCpu.reserve(static_cast<std::size_t>(Cycles));
  long ResidentWarm = 0;
  long HeapWarm = 0;
  long ResidentEnd = 0;
  long HeapEnd = 0;
  // As the programs load a module in process: a host listed the file (or
  // the console's --in-process loads it directly), so no load trial.
  Kalvoro::SetLoadTrialsEnabled(false);
  try {
    Kalvoro::TModule Module(argv[1]);
    for (int Cycle = 1; Cycle <= Cycles; ++Cycle) {
      const double CpuStart = CpuMilliseconds();
      const auto Start = std::chrono::steady_clock::now();
      Module.LoadModule();
      const int Created = Module.UnitTestList().Count();
      Module.UnloadModule();
      const auto Stop = std::chrono::steady_clock::now();
      Cpu.push_back(CpuMilliseconds() - CpuStart);
      if (Created != Expected) {
        std::fprintf(stderr, "cycle %d created %d unit tests, expected %d\n", Cycle, Created,
                     Expected);
        return 1;
      }
      Milliseconds.push_back(std::chrono::duration<double, std::milli>(Stop - Start).count());
      if (Cycle == Warmup) {
        ResidentWarm = ResidentKiB();
        HeapWarm = HeapInUse();
      }
    }
    // Taken before anything is printed: the first output allocates a buffer.
    ResidentEnd = ResidentKiB();
    HeapEnd = HeapInUse();
    // The anchor: the same file mapped and unmapped bare, as many times, in
    // this process, once the module's cycles and their growth are taken
    // (the loader keeps a little bookkeeping of its own across such loads).
    for (int Cycle = 1; Cycle <= Cycles; ++Cycle) {
      const double CpuStart = CpuMilliseconds();
      const auto Start = std::chrono::steady_clock::now();
      void* Handle = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
      if (Handle == nullptr) {
        std::fprintf(stderr, "bare cycle %d: %s\n", Cycle, dlerror());
        return 1;
      }
      dlclose(Handle);
      Bare.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start)
              .count());
      BareCpu.push_back(CpuMilliseconds() - CpuStart);
    }
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "loadcycle: %s\n", Error.what());
    return 1;
  }
  std::vector<double> Sorted = Milliseconds;
  std::sort(Sorted.begin(), Sorted.end());
  std::sort(Bare.begin(), Bare.end());
  std::sort(Cpu.begin(), Cpu.end());
  std::sort(BareCpu.begin(), BareCpu.end());
  std::printf("cycles %d\n", Cycles);
  std::printf("warmup %d\n", Warmup);
  std::printf("first_ms %.3f\n", Milliseconds.front());
  std::printf("median_ms %.3f\n", Sorted[Sorted.size() / 2]);
  std::printf("bare_median_ms %.3f\n", Bare[Bare.size() / 2]);
  std::printf("cpu_median_ms %.3f\n", Cpu[Cpu.size() / 2]);
  std::printf("bare_cpu_median_ms %.3f\n", BareCpu[BareCpu.size() / 2]);
  std::printf("rss_warm_kib %ld\n", ResidentWarm);
  std::printf("rss_end_kib %ld\n", ResidentEnd);
  std::printf("heap_warm_bytes %ld\n", HeapWarm);
  std::printf("heap_end_bytes %ld\n", HeapEnd);
  return 0;
}
