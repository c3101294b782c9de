// A unit test whose method waits until the unit tests after it have run (the
// marks they leave in the file that KALVORO_MARKS names), and then until the
// file that KALVORO_GO names exists: with several jobs the later ones finish
// ahead of it, so that a test can look at the progress and stop the run
// meanwhile. Without those variables nothing waits.
#include "UnitTest.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

void Mark(const std::string& aWhat) {
  if (const char* File = std::getenv("KALVORO_MARKS"))
    std::ofstream(File, std::ios::app) << aWhat << std::endl;
}

// Waits until aDone holds, at most 30 s, so that nothing hangs for ever.
template <typename TDone> void AwaitThat(TDone aDone) {
  for (int Look = 0; Look < 3000 && !aDone(); ++Look)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool Marked(const char* aFile, const std::string& aWhat) {
  std::ifstream Stream(aFile);
  std::stringstream Text;
  Text << Stream.rdbuf();
  return Text.str().find(aWhat + "\n") != std::string::npos;
}

} // namespace

class TWaits : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestForLater); }
  void TestForLater() {
    Mark("begin TWaits");
    if (const char* Marks = std::getenv("KALVORO_MARKS"))
      AwaitThat([&] { return Marked(Marks, "end TLater1") && Marked(Marks, "end TLater2"); });
    if (const char* Go = std::getenv("KALVORO_GO"))
      AwaitThat([&] { return std::filesystem::exists(Go); });
    // The later ones' reports are read meanwhile.
    if (std::getenv("KALVORO_MARKS") != nullptr)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Check(true, "waited");
  }
};

template <int N> class TLater : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestQuick); }
  void TestQuick() {
    Mark("end TLater" + std::to_string(N));
    Check(true, "quick");
  }
};

using TLater1 = TLater<1>;
using TLater2 = TLater<2>;
using TLater3 = TLater<3>;
REGISTER_UNIT_TEST(TWaits);
REGISTER_UNIT_TEST(TLater1);
REGISTER_UNIT_TEST(TLater2);
REGISTER_UNIT_TEST(TLater3);

extern "C" KALVORO_EXPORT void Register() {}
