// A method that makes its process's parent its tracer (PTRACE_TRACEME) and
// then writes through a null pointer: the crash stops the process for the
// parent before any handler runs. (Where tracing is not allowed the call
// fails and the crash is a plain one.)
#include "FaultTest.h"

#include <sys/ptrace.h>

class TTraced : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    WriteThroughNull();
  }
};

REGISTER_UNIT_TEST(TTraced);

extern "C" KALVORO_EXPORT void Register() {}
