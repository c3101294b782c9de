// What the runner reads from its hosts, through the real program: a test's
// output passes through in pieces, never held whole, and messages of a
// test's thread after its method count as dropped as in process.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace HostsTest;

TEST(HostReading, OutputPassesThroughWithoutTheRunnerHoldingIt) {
  TScratch Scratch;
  const TRun Quiet =
      RunRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/ReportA.so", {}, Scratch.Path(), "quiet");
  // One job; two, where the flood runs ahead of the run and waits, kept.
  // Both start before any output is read here: a process started from this
  // one while it holds 64 MiB would count them.
  const std::string Flood = std::string(KALVORO_TEST_MODULES_DIR) + "/FaultOutputFlood.so";
  const pid_t Started[2] = {StartRunner(Flood, {}, Scratch.Path(), "flood1"),
                            StartRunner(Flood, {"-j", "2"}, Scratch.Path(), "flood2")};
  for (int Index = 0; Index < 2; ++Index) {
    SCOPED_TRACE(Index == 0 ? "one job" : "two jobs");
    const TRun Run = FinishRunner(Started[Index], Scratch.Path(), Index == 0 ? "flood1" : "flood2");
    EXPECT_EQ(Run.Code, 1) << Run.Err;
    // 64 MiB without a line break, whole and in its place.
    const std::size_t First = Run.Out.find("<first>");
    ASSERT_NE(First, std::string::npos);
    const std::size_t Last = Run.Out.find("<last>", First);
    ASSERT_NE(Last, std::string::npos);
    EXPECT_EQ(Last - First - 7, std::size_t{64} << 20);
    EXPECT_EQ(std::count(Run.Out.begin() + static_cast<std::ptrdiff_t>(First),
                         Run.Out.begin() + static_cast<std::ptrdiff_t>(Last), 'x'),
              std::ptrdiff_t{64} << 20);
    // A file made 512 MiB long is no output: at most the rest of the last
    // page that was written reads as zeros.
    EXPECT_LT(std::count(Run.Out.begin(), Run.Out.end(), '\0'), 4096);
    EXPECT_LT(Run.Out.find("<last>"), Run.Out.find("after the hole\n"));
    EXPECT_LT(Run.Out.find("after the hole\n"), Run.Out.find("after the flood\n"));
    EXPECT_TRUE(std::regex_search(Run.Summary, std::regex(R"(SUCCESS +TOutputFlood\.TestHole\r)")))
        << Run.Summary;
    // The runner never held the output: its memory stays within 16 MiB of
    // that of a run that prints nothing, far below the 64 MiB.
    EXPECT_LT(Run.PeakKiB, Quiet.PeakKiB + 16 * 1024);
  }
}

TEST(HostReading, MessagesOfATestsThreadAfterItsMethodAreDroppedAndCountedInBothWays) {
  TScratch Scratch;
  const std::string Module = std::string(KALVORO_TEST_MODULES_DIR) + "/LateThreadMessages.so";
  const TRun Hosts = RunRunner(Module, {}, Scratch.Path(), "hosts");
  const TRun InProcess = RunRunner(Module, {"--in-process"}, Scratch.Path(), "own");
  for (const TRun* Run : {&Hosts, &InProcess}) {
    EXPECT_EQ(Run->Code, 0) << Run->Err;
    EXPECT_NE(Run->Summary.find("# Dropped    = 6 ("), std::string::npos) << Run->Summary;
    EXPECT_TRUE(std::regex_search(Run->Summary,
                                  std::regex(R"(SUCCESS +TLateWaiter\.TestWhileTheThreadSends\r)")))
        << Run->Summary;
    EXPECT_EQ(Run->Log.find("from a thread"), std::string::npos) << Run->Log;
  }
}
