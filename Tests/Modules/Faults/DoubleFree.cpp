// A block freed twice: the allocator notices and aborts the process.
#include "FaultTest.h"

#include <cstdlib>

class TDoubleFree : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    void* volatile Block = std::malloc(48);
    std::free(Block);
    std::free(Block);
  }
};

REGISTER_UNIT_TEST(TDoubleFree);

extern "C" KALVORO_EXPORT void Register() {}
