// A kind that only the tests know lists and runs through the console runner
// (the runner with the kind registered, as a program) beside Kalvoro
// modules: its methods' checks, reports and errors reach the output, the
// report files and JUnit as a Kalvoro method's do. The plain runner, which
// has no such kind, refuses the program and never runs it.
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

namespace {

using KalvoroTest::ReadFile;
using KalvoroTest::TScratchDir;

const std::string Program = std::string(KALVORO_TEST_MODULES_DIR) + "/LineProgram";
const std::string Demo = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";

struct TOutcome {
  int Code;
  std::string Out;
  std::string Err;
};

TOutcome RunCommand(const TScratchDir& aDir, const std::string& aRunner,
                    const std::string& aArguments) {
  const std::string Command = aRunner + " " + aArguments + " >" + aDir.File("out") + " 2>" +
                              aDir.File("err") + " </dev/null";
  const int Status = std::system(Command.c_str());
  return {WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, ReadFile(aDir.File("out")),
          ReadFile(aDir.File("err"))};
}

TEST(LineKind, ListsAndRunsThroughTheRunnerBesideKalvoroModules) {
  TScratchDir Dir;
  const TOutcome List = RunCommand(Dir, KALVORO_LINE_RUNNER, "list " + Program);
  EXPECT_EQ(List.Code, 0) << List.Err;
  EXPECT_EQ(List.Out, "LineProgram (LOAD SUCCESS)\n  TLines\n    Passes\n    Fails\n  Pipe|Unit\n"
                      "    Runs\n");

  const std::string Project = Dir.File("Both.kvr");
  std::ofstream(Project, std::ios::binary)
      << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=2\r\n"
      << "ScenarioCount=1\r\n[FileInfo]\r\nSummaryEnabled=0\r\nSummaryFileName=\r\n"
      << "LogEnabled=1\r\nLogFileName=log.txt\r\nErrorEnabled=0\r\nErrorFileName=\r\n"
      << "[Scenarios]\r\nName0=Both\r\n[Modules]\r\nFile0=" << Demo << "\r\nLoad0=1\r\n"
      << "AssignmentCount0=1\r\nFile1=" << Program << "\r\nLoad1=1\r\nAssignmentCount1=2\r\n["
      << Demo << "]\r\nAssign0=TStackTest|Both|ENABLED\r\n[" << Program
      << "]\r\nAssign0=TLines|Both|ENABLED\r\nAssign1=Pipe\\|Unit|Both|ENABLED\r\n";
  // In hosts and in process alike: a program of a kind runs as its own
  // process either way.
  for (const std::string Mode : {"", " --in-process"}) {
    const TOutcome Both = RunCommand(Dir, KALVORO_LINE_RUNNER,
                                     "run " + Project + " --junit " + Dir.File("junit.xml") + Mode);
    EXPECT_EQ(Both.Code, 1) << Mode << Both.Err;
    // The failed check with its place, then the error that ended the method.
    // A unit test whose name holds '|' is assigned by its escaped name.
    for (const char* Line :
         {"Lines.cpp:12: FAILURE (TLines.Fails) 2 + 2 == 5", "SUCCESS   Pipe|Unit.Runs",
          "EXCEPTION (TLines.Fails) gave up", "SUCCESS   TLines.Passes"})
      EXPECT_NE(Both.Out.find(Line), std::string::npos) << Mode << Line << " in\n" << Both.Out;
    const std::string Log = ReadFile(Dir.File("log.txt"));
    for (const char* Line :
         {"REPORT started", "SUCCESS 1 + 1 == 2", "SUCCESS 2 > 1", "BEGIN TStackTest"})
      EXPECT_NE(Log.find(Line), std::string::npos) << Mode << Line << " in\n" << Log;
    const std::string JUnit = ReadFile(Dir.File("junit.xml"));
    for (const char* Case : {"name=\"Passes\"", "name=\"Fails\"", "2 + 2 == 5", "TStackTest"})
      EXPECT_NE(JUnit.find(Case), std::string::npos) << Mode << Case << " in\n" << JUnit;
  }

  // Without the kind the program is refused, not run.
  for (const std::string Mode : {"", " --in-process"}) {
    const TOutcome Plain = RunCommand(Dir, KALVORO_RUNNER, "run " + Program + Mode);
    EXPECT_EQ(Plain.Code, 2) << Mode;
    EXPECT_NE(Plain.Err.find("The file is a test program (an executable), not a Kalvoro module"),
              std::string::npos)
        << Mode << Plain.Err;
  }
}

} // namespace
