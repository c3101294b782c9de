// A write far past the end of a heap block tramples the allocator's records
// of what follows it; the allocator notices at a later call and aborts.
#include "FaultTest.h"

#include <cstddef>
#include <cstdlib>

class THeapOverflow : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    constexpr std::size_t Size = 40000;
    volatile char* Block = static_cast<char*>(std::malloc(Size));
    void* volatile Next = std::malloc(Size);
    for (std::size_t Index = 0; Index < Size + 4096; ++Index)
      Block[Index] = 0x5a;
    std::free(Next);
    void* volatile Later = std::malloc(2 * Size);
    std::free(Later);
    std::free(const_cast<char*>(Block));
  }
};

REGISTER_UNIT_TEST(THeapOverflow);

extern "C" KALVORO_EXPORT void Register() {}
