// Hot paths of the framework: checks, message delivery, one method's run, log
// formatting and module loading. Allocation counts are reported per iteration.
#include "CrashGuard.h"
#include "Formatters.h"
#include "UnitTest.h"
#include "UnitTestBase.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> Allocations{0};

} // namespace

// Counts every allocation of the process, to tell what each hot path costs.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t aSize) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* Block = std::malloc(aSize == 0 ? 1 : aSize))
    return Block;
  throw std::bad_alloc();
}
void operator delete(void* aBlock) noexcept {
  std::free(aBlock);
}
void operator delete(void* aBlock, std::size_t) noexcept {
  std::free(aBlock);
}

namespace {

using namespace Kalvoro;

class TBenchTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestEmpty); }
  void TestEmpty() {}
};

struct TCounter {
  long Count = 0;
  void Handle(TMessageEventList*, const TCustomMessage&) { ++Count; }
};

// A unit test in a scenario, standing inside its only method as during a run.
struct TRunning {
  TModule Module{"bench.so"};
  TTestScenario Scenario{"Bench"};
  TBenchTest* UnitTest = nullptr;

  TRunning() {
    UnitTest = static_cast<TBenchTest*>(CreateUnitTestOf<TBenchTest>(&Module, "TBenchTest"));
    UnitTest->Register();
    Scenario.AddUnitTest(UnitTest);
  }
  ~TRunning() {
    Scenario.RemoveAllUnitTests();
    delete UnitTest;
  }
};

void ReportAllocations(benchmark::State& aState, long aBefore) {
  aState.counters["allocs/iter"] = benchmark::Counter(
      static_cast<double>(Allocations.load() - aBefore) / static_cast<double>(aState.iterations()));
}

// A unit test whose method runs the benchmark loop, so that Check is called
// exactly as test code calls it.
class TCheckLoop : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  benchmark::State* State = nullptr;
  int Kind = 0; // 0: Check(true), 1: CheckEqual on two ints, 2: Check on the same two ints
  void Register() override { REGISTER_METHOD(Loop); }
  void Loop() {
    const long Before = Allocations.load();
    int Expected = 4, Actual = 4;
    if (Kind == 1)
      for (auto _ : *State) {
        benchmark::DoNotOptimize(Actual);
        bool Result = CheckEqual(Expected, Actual, "a passing check with a text longer than 15");
        benchmark::DoNotOptimize(Result);
      }
    else if (Kind == 2)
      for (auto _ : *State) {
        benchmark::DoNotOptimize(Actual);
        bool Result = Check(Expected == Actual, "a passing check with a text longer than 15");
        benchmark::DoNotOptimize(Result);
      }
    else
      for (auto _ : *State) {
        bool Result = Check(true, "a passing check with a text that is longer than fifteen");
        benchmark::DoNotOptimize(Result);
      }
    ReportAllocations(*State, Before);
  }
};

void RunCheckLoop(benchmark::State& aState, bool aWithHandler, int aKind = 0) {
  TModule Module("bench.so");
  TTestScenario Scenario("Bench");
  std::unique_ptr<TCheckLoop> UnitTest(
      static_cast<TCheckLoop*>(CreateUnitTestOf<TCheckLoop>(&Module, "TCheckLoop")));
  UnitTest->Register();
  UnitTest->State = &aState;
  UnitTest->Kind = aKind;
  Scenario.AddUnitTest(UnitTest.get());
  TCounter Counter;
  if (aWithHandler)
    Scenario.AddStateNotificationHandler(MakeMessageEvent<&TCounter::Handle>(&Counter));
  Scenario.Run();
  Scenario.RemoveAllUnitTests();
}

void BM_PassingCheckNoHandler(benchmark::State& aState) {
  RunCheckLoop(aState, false);
}
BENCHMARK(BM_PassingCheckNoHandler);

void BM_PassingCheckEqualNoHandler(benchmark::State& aState) {
  RunCheckLoop(aState, false, 1);
}
BENCHMARK(BM_PassingCheckEqualNoHandler);

// The same two ints through Check, the cost CheckEqual is held to.
void BM_PassingCheckOnIntsNoHandler(benchmark::State& aState) {
  RunCheckLoop(aState, false, 2);
}
BENCHMARK(BM_PassingCheckOnIntsNoHandler);

void BM_PassingCheckOneHandler(benchmark::State& aState) {
  RunCheckLoop(aState, true);
}
BENCHMARK(BM_PassingCheckOneHandler);

void BM_FireTwoHandlers(benchmark::State& aState) {
  TMessageEventList List;
  TCounter First;
  TCounter Second;
  List.AddEventHandler(MakeMessageEvent<&TCounter::Handle>(&First));
  List.AddEventHandler(MakeMessageEvent<&TCounter::Handle>(&Second));
  const long Before = Allocations.load();
  for (auto _ : aState)
    List.FireAllEventHandlers(std::make_unique<TReportMessage>(std::string()));
  ReportAllocations(aState, Before);
  benchmark::DoNotOptimize(First.Count + Second.Count);
}
BENCHMARK(BM_FireTwoHandlers);

void BM_RunMethodSixProgressMessages(benchmark::State& aState) {
  TRunning Running;
  TCounter Counter;
  Running.Scenario.AddStateNotificationHandler(MakeMessageEvent<&TCounter::Handle>(&Counter));
  TUnitTestMethod* Method = Running.UnitTest->Methods().GetItem(0);
  // As inside a scenario's Run: the crash handlers stay installed.
  TSignalScope Signals;
  const long Before = Allocations.load();
  for (auto _ : aState)
    Running.UnitTest->RunMethod(Method);
  ReportAllocations(aState, Before);
  if (Counter.Count != 6 * static_cast<long>(aState.iterations()))
    aState.SkipWithError("RunMethod did not fire six messages");
}
BENCHMARK(BM_RunMethodSixProgressMessages);

void BM_LogFormatOneLine(benchmark::State& aState) {
  TLogFormatter Formatter(TFormatSettings{}, [] { return TDateTime{2026, 12, 7, 3, 45, 22}; });
  TCheckMessage Message("2+2 gives 4");
  std::string Line;
  const long Before = Allocations.load();
  for (auto _ : aState) {
    Formatter.Format(Message, Line);
    benchmark::DoNotOptimize(Line.data());
  }
  ReportAllocations(aState, Before);
}
BENCHMARK(BM_LogFormatOneLine);

void BM_LoadModule1000UnitTests(benchmark::State& aState) {
  const std::string Path = std::string(KALVORO_BENCH_MODULES_DIR) + "/BenchModule1000.so";
  for (auto _ : aState) {
    TModule Module(Path);
    Module.LoadModule();
    if (Module.UnitTestList().Count() != 1000)
      aState.SkipWithError("the module did not yield 1,000 unit tests");
    aState.PauseTiming();
    Module.UnloadModule();
    aState.ResumeTiming();
  }
}
BENCHMARK(BM_LoadModule1000UnitTests)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
