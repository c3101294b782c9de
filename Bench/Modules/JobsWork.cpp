// 20 unit tests of 100 methods that each compute for about 1 ms of CPU time:
// 2,000 methods for the parallel runs' benchmark (Bench/JobsBench).
#include "UnitTest.h"

#include <ctime>
#include <string>
#include <vector>

namespace {

double CpuSeconds() {
  timespec Time{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &Time);
  return static_cast<double>(Time.tv_sec) + static_cast<double>(Time.tv_nsec) * 1e-9;
}

const std::vector<std::string>& MethodNames() {
  static const std::vector<std::string> Names = [] {
    std::vector<std::string> Result;
    for (int I = 0; I < 100; ++I)
      Result.push_back("Compute" + std::to_string(I));
    return Result;
  }();
  return Names;
}

} // namespace

class TJobsWork : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    for (const std::string& Name : MethodNames())
      RegisterMethod(static_cast<void (TUnitTestBase::*)()>(&TJobsWork::Compute), Name);
  }
  // Work, not a sleep: a millisecond of this thread's CPU time.
  void Compute() {
    const double Until = CpuSeconds() + 0.001;
    volatile unsigned Sum = 0;
    while (CpuSeconds() < Until)
      for (unsigned I = 0; I < 1000; ++I)
        Sum = Sum + I * I;
    Check(true, "computed");
  }
};

#define JOBS_UNIT_TEST(Name)                                                                       \
  class Name : public TJobsWork {                                                                  \
    using TJobsWork::TJobsWork;                                                                    \
  };                                                                                               \
  REGISTER_UNIT_TEST(Name)

JOBS_UNIT_TEST(TJobs00);
JOBS_UNIT_TEST(TJobs01);
JOBS_UNIT_TEST(TJobs02);
JOBS_UNIT_TEST(TJobs03);
JOBS_UNIT_TEST(TJobs04);
JOBS_UNIT_TEST(TJobs05);
JOBS_UNIT_TEST(TJobs06);
JOBS_UNIT_TEST(TJobs07);
JOBS_UNIT_TEST(TJobs08);
JOBS_UNIT_TEST(TJobs09);
JOBS_UNIT_TEST(TJobs10);
JOBS_UNIT_TEST(TJobs11);
JOBS_UNIT_TEST(TJobs12);
JOBS_UNIT_TEST(TJobs13);
JOBS_UNIT_TEST(TJobs14);
JOBS_UNIT_TEST(TJobs15);
JOBS_UNIT_TEST(TJobs16);
JOBS_UNIT_TEST(TJobs17);
JOBS_UNIT_TEST(TJobs18);
JOBS_UNIT_TEST(TJobs19);

extern "C" KALVORO_EXPORT void Register() {}
