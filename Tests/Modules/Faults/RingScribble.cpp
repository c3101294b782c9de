// Test code that finds the memory through which its host reports, waits
// until the runner has read all of it, and writes nonsense over its counters:
// the runner must take that for the host's end, not stop the run.
#include "FaultTest.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

class TRingScribble : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    std::FILE* Maps = std::fopen("/proc/self/maps", "r");
    if (Maps == nullptr)
      return;
    unsigned long Start = 0;
    char Line[512];
    while (Start == 0 && std::fgets(Line, sizeof Line, Maps) != nullptr)
      if (std::strstr(Line, "kalvoro-ring") != nullptr && std::sscanf(Line, "%lx", &Start) != 1)
        Start = 0;
    std::fclose(Maps);
    if (Start == 0)
      return; // not in a host
    // The counters: how far the host wrote, how far the runner read. Once
    // they meet, the runner knows that this method runs.
    auto* Counters = reinterpret_cast<std::atomic<std::uint64_t>*>(Start);
    for (int Round = 0; Round < 10000 && Counters[0].load() != Counters[1].load(); ++Round)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Counters[0].store(~std::uint64_t{0});
  }
};

REGISTER_UNIT_TEST(TRingScribble);

extern "C" KALVORO_EXPORT void Register() {}
