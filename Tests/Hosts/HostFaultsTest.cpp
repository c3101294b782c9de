// Each fault module run by the real program in hosts: the faulting method is
// an exception with the fault's cause, the methods after it run with their
// own results, the reports and JUnit are complete, one summary, exit code 1.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include <stdlib.h>

using namespace HostsTest;

namespace {

struct TMethod {
  std::string Name; // "TUnitTest.Method"
  std::string Result;
  std::string Cause;          // the exception's text; empty: none
  std::string SanitizerCause; // how it begins in the sanitizer build; empty: Cause
};

struct TFaultCase {
  std::string Module;
  std::vector<std::string> Extra;
  std::vector<TMethod> Methods;
};

// The four methods of a unit test around one fault.
std::vector<TMethod> Around(const std::string& aUnitTest, const std::string& aResult,
                            const std::string& aCause, const std::string& aSanitizerCause = {}) {
  return {{aUnitTest + ".TestBefore", "SUCCESS", "", ""},
          {aUnitTest + ".TestFault", aResult, aCause, aSanitizerCause},
          {aUnitTest + ".TestAfter", "SUCCESS", "", ""},
          {aUnitTest + ".TestFailsAfter", "FAILURE", "", ""}};
}

// A unit test that changes the signals before a crash and before a hang.
std::vector<TMethod> SignalLeft(const std::string& aUnitTest) {
  return {{aUnitTest + ".TestBefore", "SUCCESS", "", ""},
          {aUnitTest + ".TestLeaveForCrash", "SUCCESS", "", ""},
          {aUnitTest + ".TestCrash", "EXCEPTION", "Access violation (SIGSEGV)", ""},
          {aUnitTest + ".TestLeaveForHang", "SUCCESS", "", ""},
          {aUnitTest + ".TestHang", "EXCEPTION", "Time limit of 1 s exceeded", ""},
          {aUnitTest + ".TestAfter", "SUCCESS", "", ""},
          {aUnitTest + ".TestFailsAfter", "FAILURE", "", ""}};
}

std::vector<TMethod> Joined(std::vector<std::vector<TMethod>> aParts) {
  std::vector<TMethod> Result;
  for (std::vector<TMethod>& Part : aParts)
    Result.insert(Result.end(), Part.begin(), Part.end());
  return Result;
}

#ifdef __SANITIZE_ADDRESS__
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif

// Runs aCase's module in hosts and checks that the faulting method is an
// exception with the fault's cause, the methods after it run with their own
// results, the reports and JUnit are complete, one summary, exit code 1.
void ExpectFaultRun(const TFaultCase& aCase, const fs::path& aFolder) {
  SCOPED_TRACE(aCase.Module);
  const TRun Run = RunRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/" + aCase.Module + ".so",
                             aCase.Extra, aFolder, aCase.Module);
  EXPECT_EQ(Run.Code, 1) << Run.Err;
  // One summary: a forked child that went on would print its own.
  EXPECT_EQ(Occurrences(Run.Out, "Kalvoro Console Summary"), 1u) << Run.Out;
  // Nothing of a thread that outlived its method.
  for (const std::string* Text : {&Run.Out, &Run.Log, &Run.Errors, &Run.JUnit})
    EXPECT_EQ(Text->find("from a thread"), std::string::npos) << *Text;

  std::vector<std::string> Results;
  std::size_t Exceptions = 0;
  for (const TMethod& Method : aCase.Methods) {
    Results.push_back(Method.Result + " " + Method.Name);
    // A sanitizer's report is the exception: its first line, which holds
    // addresses, begins so.
    const bool Report = SanitizerBuild && !Method.SanitizerCause.empty();
    const std::string& Cause = Report ? Method.SanitizerCause : Method.Cause;
    if (Cause.empty())
      continue;
    ++Exceptions;
    EXPECT_NE(Run.Errors.find("EXCEPTION (" + Method.Name + ") " + Cause + (Report ? "" : "\r\n")),
              std::string::npos)
        << Run.Errors;
    EXPECT_NE(Run.Log.find("EXCEPTION " + Method.Name + " (" + Cause + (Report ? "" : ")\r\n")),
              std::string::npos)
        << Run.Log;
    const std::string UnitTest = Method.Name.substr(0, Method.Name.find('.'));
    const std::string Name = Method.Name.substr(Method.Name.find('.') + 1);
    const std::size_t At =
        Run.JUnit.find("<testcase name=\"" + Name + "\" classname=\"" + UnitTest + "\"");
    ASSERT_NE(At, std::string::npos) << Run.JUnit;
    EXPECT_EQ(Run.JUnit.find("<error message=\"" + Cause + (Report ? "" : "\""), At),
              Run.JUnit.find("<error message=\"", At))
        << Run.JUnit;
  }
  EXPECT_EQ(SummaryResults(Run.Summary), Results) << Run.Summary;
  EXPECT_EQ(Occurrences(Run.Errors, "EXCEPTION ("), Exceptions) << Run.Errors;
  // The reports are complete: the log's last line ends the scenario, the
  // summary counts every method, JUnit is closed and has every method.
  EXPECT_NE(Run.Log.rfind("END Default Scenario ("), std::string::npos);
  EXPECT_EQ(Run.Log.find("\r\n", Run.Log.rfind("END Default Scenario (")) + 2, Run.Log.size());
  EXPECT_NE(Run.Summary.find("Total number of UnitTest Methods = " +
                             std::to_string(aCase.Methods.size()) + "\r\n"),
            std::string::npos)
      << Run.Summary;
  EXPECT_EQ(Occurrences(Run.JUnit, "<testcase "), aCase.Methods.size());
  EXPECT_EQ(Run.JUnit.rfind("</testsuites>\n"), Run.JUnit.size() - 14) << Run.JUnit;
}

} // namespace

TEST(HostFaults, EachFaultEndsItsMethodOnlyAndTheRunGoesOn) {
  const std::string Exited = "Test process exited with status ";
  const TFaultCase Cases[] = {
      // The sanitizer build's allocator and crash handler report these and
      // end the process: the report's first line is the exception.
      {"FaultDoubleFree",
       {},
       Around("TDoubleFree", "EXCEPTION", "Abnormal termination (SIGABRT)",
              "AddressSanitizer: attempting double-free on 0x")},
      {"FaultHeapOverflow",
       {},
       Around("THeapOverflow", "EXCEPTION", "Abnormal termination (SIGABRT)",
              "AddressSanitizer: heap-buffer-overflow on address 0x")},
      {"FaultThreadCrash",
       {},
       Around("TThreadCrash", "EXCEPTION", "Test process ended by SIGSEGV",
              "AddressSanitizer: SEGV on unknown address ")},
      {"FaultThreadThrow",
       {},
       Around("TThreadThrow", "EXCEPTION", "Test process ended by SIGABRT")},
      {"FaultAlarm", {}, Around("TAlarm", "EXCEPTION", "Test process ended by SIGALRM")},
      {"FaultFileSize", {}, Around("TFileSize", "EXCEPTION", "Test process ended by SIGXFSZ")},
      // The failed check before the end comes first, so the method reads
      // FAILURE, as in process; the end is its exception.
      {"FaultUnderscoreExit",
       {},
       Around("TUnderscoreExit", "FAILURE", "_exit(0) called by the test")},
      {"FaultExitGroup", {}, Around("TExitGroup", "FAILURE", Exited + "0")},
      {"FaultFork", {}, Around("TFork", "FAILURE", "")},
      {"FaultClone", {}, Around("TClone", "FAILURE", "")},
      {"FaultSignalsLeft",
       {"--timeout", "1"},
       Joined({SignalLeft("TSegvDefault"), SignalLeft("TSegvIgnored"), SignalLeft("TSegvBlocked"),
               SignalLeft("TAllBlocked")})},
      // Test code that breaks what the host reports through: the ring's
      // counters scribbled over, every descriptor above 2 closed.
      {"FaultRingScribble",
       {},
       Around("TRingScribble", "EXCEPTION",
              "Garbled frame from the test process: its ring does not add up")},
      {"FaultCloseDescriptors",
       {},
       Around("TCloseDescriptors", "EXCEPTION",
              "The test closed the channel from the test process to the runner")},
      {"FaultOutlivingThread",
       {},
       {{"TOutlivingThread.TestBefore", "SUCCESS", "", ""},
        {"TOutlivingThread.TestStartThread", "SUCCESS", "", ""},
        {"TOutlivingThread.TestCrash", "EXCEPTION", "Access violation (SIGSEGV)", ""},
        {"TOutlivingThread.TestWait", "SUCCESS", "", ""},
        {"TOutlivingThread.TestAfter", "SUCCESS", "", ""},
        {"TOutlivingThread.TestFailsAfter", "FAILURE", "", ""}}},
  };
  TScratch Scratch;
  for (const TFaultCase& Case : Cases)
    ExpectFaultRun(Case, Scratch.Path());
}

// What the runner set for its children (a module's start-up ignores SIGCHLD
// in every process that loads it) or a host that made the runner its tracer
// does not change how the host's end reads.
TEST(HostFaults, AHostsEndReadsTheSameWhateverTheRunnerSetOrTheHostTraced) {
  const TFaultCase Cases[] = {
      {"FaultChildSignalIgnored",
       {},
       Around("TChildSignalIgnored", "EXCEPTION", "Test process exited with status 3")},
      {"FaultTraced", {}, Around("TTraced", "EXCEPTION", "Access violation (SIGSEGV)")},
  };
  TScratch Scratch;
  for (const TFaultCase& Case : Cases)
    ExpectFaultRun(Case, Scratch.Path());
}

// In process the same guards hold for what a guard can catch there: _exit
// after a failed check is the method's exception, and a child that a test
// made by fork or clone and that comes back ends there, so that it neither
// runs the rest of the run nor writes its reports over the parent's.
TEST(HostFaults, InProcessUnderscoreExitAndAChildThatComesBackEndTheirMethodOnly) {
  const TFaultCase Cases[] = {
      {"FaultUnderscoreExit",
       {"--in-process"},
       Around("TUnderscoreExit", "FAILURE", "_exit(0) called by the test")},
      {"FaultFork", {"--in-process"}, Around("TFork", "FAILURE", "")},
      {"FaultClone", {"--in-process"}, Around("TClone", "FAILURE", "")},
  };
  TScratch Scratch;
  for (const TFaultCase& Case : Cases)
    ExpectFaultRun(Case, Scratch.Path());
}

// A host that moved to the runner's process group and blocks every signal
// is still ended at its time limit, and the run goes on.
TEST(HostFaults, AHostThatLeftItsGroupAndBlocksEverySignalIsStillEnded) {
  TScratch Scratch;
  ExpectFaultRun({"FaultEscapingHost",
                  {"--timeout", "1"},
                  Around("TEscapingHost", "EXCEPTION", "Time limit of 1 s exceeded")},
                 Scratch.Path());
}

// The C library's fatal message in a host ("double free ...") is the
// method's output, which the runner shows on its standard error; it never
// goes to the terminal, even where the run has one.
TEST(HostFaults, TheCLibrarysFatalMessageIsTheMethodsOutputNotTheTerminals) {
  const int Terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Terminal < 0 || grantpt(Terminal) != 0 || unlockpt(Terminal) != 0)
    GTEST_SKIP() << "no terminal to run under";
  const std::string Name = ptsname(Terminal);
  // Held open here too, so that what was written to it can still be read
  // after the run.
  const int Held = open(Name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  TScratch Scratch;
  const TRun Run = RunRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/FaultDoubleFree.so", {},
                             Scratch.Path(), "terminal", Name);
  fcntl(Terminal, F_SETFL, fcntl(Terminal, F_GETFL) | O_NONBLOCK);
  std::string Shown;
  char Buffer[4096];
  for (ssize_t Count; (Count = read(Terminal, Buffer, sizeof Buffer)) > 0;)
    Shown.append(Buffer, static_cast<std::size_t>(Count));
  close(Held);
  close(Terminal);
  EXPECT_EQ(Run.Code, 1) << Run.Err;
  EXPECT_NE(Run.Err.find(SanitizerBuild ? "attempting double-free" : "double free"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(Shown.find("double"), std::string::npos) << Shown;
}

// A module file written over in place during the run (a copy of the module
// that a test of its own rewrites): the methods after it end with "The module
// file changed since it was listed" instead of running other code under the
// old listing, in hosts and in process, and the runner itself ends cleanly
// with complete reports, also when the file was cut to nothing under the
// library it holds loaded (whose code and destructors must then never run).
TEST(HostFaults, AModuleFileWrittenOverDuringTheRunEndsTheRestOfItsMethods) {
  const std::string Changed = "The module file changed since it was listed";
  const struct {
    const char* Rewrite;
    const char* Mode;
    const char* Fault; // the rewriting method's result
  } Cases[] = {{"append", "--hosts", "SUCCESS"},  {"append", "--in-process", "SUCCESS"},
               {"empty", "--hosts", "EXCEPTION"}, {"empty", "--in-process", "EXCEPTION"},
               {"zero", "--hosts", "EXCEPTION"},  {"zero", "--in-process", "EXCEPTION"}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Rewrite) + " " + Case.Mode);
    TScratch Scratch;
    const fs::path Module = Scratch.Path() / "FaultRewrite.so";
    fs::copy_file(std::string(KALVORO_TEST_MODULES_DIR) + "/FaultRewrite.so", Module);
    setenv("KALVORO_REWRITE", Case.Rewrite, 1);
    const TRun Run = RunRunner(Module.string(), {Case.Mode}, Scratch.Path(), "run");
    unsetenv("KALVORO_REWRITE");
    EXPECT_EQ(Run.Code, 1) << Run.Err;
    EXPECT_EQ(SummaryResults(Run.Summary),
              (std::vector<std::string>{
                  "SUCCESS TRewrite.TestBefore", std::string(Case.Fault) + " TRewrite.TestFault",
                  "EXCEPTION TRewrite.TestAfter", "EXCEPTION TRewrite.TestFailsAfter"}))
        << Run.Summary;
    // Each of the two ends in its Init, which tells why.
    EXPECT_EQ(Occurrences(Run.Errors, "EXCEPTION (TRewrite.Init) " + Changed + "\r\n"), 2u)
        << Run.Errors;
    EXPECT_EQ(Occurrences(Run.JUnit, "<testcase "), 4u);
    EXPECT_EQ(Run.JUnit.rfind("</testsuites>\n"), Run.JUnit.size() - 14) << Run.JUnit;
  }
}
