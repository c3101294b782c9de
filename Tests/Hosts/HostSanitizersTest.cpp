// Modules built with a sanitizer, run by the real program: each runs in a
// host started with the sanitizer's runtime first, the report ends the
// faulty method as its exception (the report's first line), the methods
// around it pass, and the log and JUnit hold the whole report; a leak that
// only the module's end leaves is an exception after its last method. In
// process such a module is refused. A host program built with a sanitizer
// itself runs the modules of its own runtime as they are and refuses the
// others.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

using namespace HostsTest;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif

struct TSanitizedCase {
  const char* Module;
  const char* Built;    // "built with ..."
  const char* Method;   // the method whose result the report makes EXCEPTION
  const char* Phase;    // the phase that the report ends
  const char* Headline; // the exception's text, or how it begins
  bool OwnRuntime;      // the sanitizer build's host has its runtime
  bool AtHostEnd;       // found at the host's end, which that host skips
};

// aText as JUnit's XML writes it in an attribute.
std::string InXml(std::string aText) {
  for (std::size_t At = aText.find('\''); At != std::string::npos; At = aText.find('\'', At))
    aText.replace(At, 1, "&apos;");
  return aText;
}

// A line that each report holds: a frame of its stack.
const std::string ReportLine = "TSanitized::TestFault()";

} // namespace

TEST(HostSanitizers, AReportEndsTheFaultyMethodWithItsFirstLineAndTheRunGoesOn) {
  const TSanitizedCase Cases[] = {
      {"SanitizedHeapOverflow", "AddressSanitizer and UndefinedBehaviorSanitizer", "TestFault",
       "TestFault", "AddressSanitizer: heap-buffer-overflow on address 0x", true, false},
      {"SanitizedSignedOverflow", "AddressSanitizer and UndefinedBehaviorSanitizer", "TestFault",
       "TestFault",
       "runtime error: signed integer overflow: 2147483647 + 1 cannot be represented in type 'int'",
       true, false},
      {"SanitizedDataRace", "ThreadSanitizer", "TestFault", "TestFault",
       "ThreadSanitizer: data race", false, false},
      // Leaked at the module's static destructor: found when its host ends,
      // after the last method.
      {"SanitizedEndLeak", "AddressSanitizer", "TestAfter", "Unload",
       "LeakSanitizer: detected memory leaks", true, true},
#ifdef KALVORO_CLANG_SANITIZED_MODULE
      // The leak is found after the method's Exit.
      {"SanitizedLeak", "AddressSanitizer", "TestFault", "Exit",
       "LeakSanitizer: detected memory leaks", false, false},
#endif
  };
  TScratch Scratch;
  for (const TSanitizedCase& Case : Cases) {
    SCOPED_TRACE(Case.Module);
    // The sanitizer build's host looks for no leaks of its own modules.
    if (SanitizerBuild && Case.AtHostEnd)
      continue;
    const std::string Module = std::string(KALVORO_TEST_MODULES_DIR) + "/" + Case.Module + ".so";
    const TRun Run = RunRunner(Module, {}, Scratch.Path(), Case.Module);
    if (SanitizerBuild && !Case.OwnRuntime) {
      // Refused at its listing (the library's own part is built with the
      // host's sanitizers too, so the module may name more than its own).
      EXPECT_EQ(Run.Code, 2) << Run.Out;
      EXPECT_NE(Run.Err.find(std::string("built with ") + Case.Built), std::string::npos)
          << Run.Err;
      EXPECT_NE(Run.Err.find(": the test process is built with AddressSanitizer and "
                             "UndefinedBehaviorSanitizer and cannot load another runtime"),
                std::string::npos)
          << Run.Err;
      continue;
    }
    EXPECT_EQ(Run.Code, 1) << Run.Err;
    std::vector<std::string> Results;
    for (const char* Method : {"TestBefore", "TestFault", "TestAfter"})
      Results.push_back(std::string(Method == std::string(Case.Method) ? "EXCEPTION" : "SUCCESS") +
                        " TSanitized." + Method);
    EXPECT_EQ(SummaryResults(Run.Summary), Results) << Run.Summary;
    // The first line as the exception, in the errors page, the log and JUnit.
    const std::string Where = std::string("TSanitized.") + Case.Phase;
    EXPECT_NE(Run.Errors.find("EXCEPTION (" + Where + ") " + Case.Headline), std::string::npos)
        << Run.Errors;
    EXPECT_NE(Run.Log.find("EXCEPTION " + Where + " (" + Case.Headline), std::string::npos)
        << Run.Log;
    if (Case.AtHostEnd) {
      EXPECT_LT(Run.Log.find("END TestAfter"), Run.Log.find("EXCEPTION " + Where)) << Run.Log;
    }
    const std::string Phase =
        std::string(Case.Phase) == Case.Method ? "" : std::string(Case.Phase) + ": ";
    const std::size_t Fault = Run.JUnit.find(std::string("<testcase name=\"") + Case.Method + "\"");
    ASSERT_NE(Fault, std::string::npos) << Run.JUnit;
    EXPECT_EQ(Run.JUnit.find("<error message=\"" + Phase + InXml(Case.Headline), Fault),
              Run.JUnit.find("<error", Fault))
        << Run.JUnit;
    // The whole report: in the log as the method's lines before its
    // exception, in JUnit as the test case's standard error. (A frame of the
    // stack is there where the host added the options; the sanitizer
    // build's host runs its own modules with the user's options alone.)
    const std::size_t First = Run.Log.find("REPORT ");
    EXPECT_LT(First, Run.Log.find(Case.Headline, First)) << Run.Log;
    EXPECT_LT(Run.Log.find(Case.Headline, First), Run.Log.find("EXCEPTION " + Where)) << Run.Log;
    const std::size_t Errors = Run.JUnit.find("<system-err>", Fault);
    EXPECT_LT(Errors, Run.JUnit.find(InXml(Case.Headline), Errors)) << Run.JUnit;
    EXPECT_LT(Run.JUnit.find(InXml(Case.Headline), Errors), Run.JUnit.find("</testcase>", Fault));
    if (!SanitizerBuild) {
      EXPECT_LT(Run.Log.find(ReportLine, First), Run.Log.find("EXCEPTION " + Where)) << Run.Log;
      EXPECT_LT(Run.JUnit.find(ReportLine, Errors), Run.JUnit.find("</testcase>", Fault));
    }
    EXPECT_EQ(Occurrences(Run.JUnit, "<system-err>"), 1u) << Run.JUnit;

    // In process it would not load (or would run without its runtime).
    if (SanitizerBuild)
      continue;
    const TRun InProcess =
        RunRunner(Module, {"--in-process"}, Scratch.Path(), std::string(Case.Module) + "InProcess");
    EXPECT_EQ(InProcess.Code, 2);
    EXPECT_NE(
        InProcess.Err.find(std::string("is built with ") + Case.Built + ": runs in hosts only"),
        std::string::npos)
        << InProcess.Err;
  }
}

TEST(HostSanitizers, ALeakAtAModulesEndIsReportedAgainstThatModuleAlone) {
  // The sanitizer build's host looks for no leaks of its own modules.
  if (SanitizerBuild)
    GTEST_SKIP();
  // Modules of one runtime in one scenario, the leaking one first or last,
  // one after another or side by side: the report comes after its own last
  // method, never the other's.
  const std::string Leaky = std::string(KALVORO_TEST_MODULES_DIR) + "/SanitizedEndLeak.so";
  const std::string Clean = std::string(KALVORO_TEST_MODULES_DIR) + "/SanitizedClean.so";
  const std::vector<std::string> Orders[] = {{Leaky, Clean}, {Clean, Leaky}};
  TScratch Scratch;
  for (const std::vector<std::string>& Modules : Orders)
    for (const char* Jobs : {"1", "2"}) {
      const std::string Tag =
          std::string(Modules.front() == Leaky ? "LeakyFirst" : "LeakyLast") + "Jobs" + Jobs;
      SCOPED_TRACE(Tag);
      const fs::path Project = fs::path(Scratch.Path()) / (Tag + ".kvr");
      std::ofstream File(Project, std::ios::binary);
      File << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=2\r\n"
           << "ScenarioCount=0\r\n[FileInfo]\r\nSummaryEnabled=0\r\nSummaryFileName=\r\n"
           << "LogEnabled=0\r\nLogFileName=\r\nErrorEnabled=0\r\nErrorFileName=\r\n[Modules]\r\n";
      for (std::size_t I = 0; I < Modules.size(); ++I)
        File << "File" << I << "=" << Modules[I] << "\r\nLoad" << I << "=1\r\nAssignmentCount" << I
             << "=1\r\n";
      for (const std::string& Module : Modules)
        File << "[" << Module << "]\r\nAssign0=TSanitized|Default Scenario|ENABLED\r\n";
      File.close();
      const TRun Run = RunRunner(Project.string(), {"-j", Jobs}, Scratch.Path(), Tag);
      EXPECT_EQ(Run.Code, 1) << Run.Err;
      std::vector<std::string> Results;
      for (const std::string& Module : Modules)
        for (const char* Method : {"TestBefore", "TestFault", "TestAfter"})
          Results.push_back(std::string(Module == Leaky && Method == std::string("TestAfter")
                                            ? "EXCEPTION"
                                            : "SUCCESS") +
                            " TSanitized." + Method);
      EXPECT_EQ(SummaryResults(Run.Summary), Results) << Run.Summary << Run.Log;
      EXPECT_EQ(Occurrences(Run.Errors, "EXCEPTION (TSanitized.Unload) LeakSanitizer: detected "
                                        "memory leaks"),
                1u)
          << Run.Errors;
    }
}
