// A project file in which a module fails to load: the whole file is still
// read, and saving it loses nothing.
#include "Project.h"

#include "ProjectTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Kalvoro;
using namespace KalvoroTest;

TEST(ProjectLoadFailure, ModulesAfterAFailedOneAreReadAndLoadedThenTheFirstErrorGoesOn) {
  TScratchDir Dir;
  const std::string First = Dir.File("First.so");
  const std::string Last = Dir.File("Last.so");
  const std::string Project = Dir.File("p.kvr");
  WriteFile(Project, "[Project]\nSignature=Kalvoro\nFileVersion=1.0\nModuleCount=3\n"
                     "ScenarioCount=1\n[FileInfo]\nSummaryEnabled=0\nSummaryFileName=\n"
                     "LogEnabled=0\nLogFileName=\nErrorEnabled=0\nErrorFileName=\n"
                     "[Scenarios]\nName0=S\n[Modules]\nFile0=" +
                         First + "\nLoad0=1\nAssignmentCount0=1\nFile1=" + WorkedExampleModule +
                         "\nLoad1=1\nAssignmentCount1=1\nFile2=" + Last +
                         "\nLoad2=1\nAssignmentCount2=1\n[" + First + "]\nAssign0=TA|S|ENABLED\n[" +
                         WorkedExampleModule + "]\nAssign0=TB|S|ENABLED\n[" + Last +
                         "]\nAssign0=TX|S|DISABLED\n");
  TProject Loaded(Project);
  std::string Report;
  try {
    Loaded.LoadProject(Report);
    FAIL() << "no load error";
  } catch (const TModuleException& Error) {
    EXPECT_EQ(Error.Message(), "Failed to load package or library \"" + First + "\"");
  }
  ASSERT_EQ(Loaded.Modules().Count(), 3);
  EXPECT_EQ(Loaded.Modules()[0]->State(), msLoadFailed);
  EXPECT_EQ(Loaded.Modules()[0]->Assignments(), std::vector<std::string>{"TA|S|ENABLED"});
  EXPECT_EQ(Loaded.Modules()[1]->State(), msLoadSuccess);
  EXPECT_EQ(Loaded.Modules()[1]->UnitTestList().FindByName("TB")->TestScenario(),
            Loaded.Scenarios()[0]);
  EXPECT_EQ(Loaded.Modules()[2]->State(), msLoadFailed);
  EXPECT_FALSE(Loaded.Modified());

  // Saving keeps every module and every assignment line.
  Loaded.SaveProject();
  const std::string Saved = ReadFile(Project);
  for (const std::string& Expected :
       {"File0=" + First, "File1=" + WorkedExampleModule, "File2=" + Last,
        "[" + First + "]\r\nAssign0=TA|S|ENABLED", "[" + Last + "]\r\nAssign0=TX|S|DISABLED"})
    EXPECT_NE(Saved.find(Expected), std::string::npos) << Expected << "\n" << Saved;
}

// A project file that is there but cannot be opened says so, and why.
TEST(ProjectLoadFailure, AFileThatCannotBeOpenedIsToldWithItsReason) {
  TScratchDir Dir;
  const std::string Socket = Dir.File("p.kvr");
  const int Handle = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(Handle, 0);
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  ASSERT_LT(Socket.size(), sizeof Address.sun_path);
  std::strcpy(Address.sun_path, Socket.c_str());
  ASSERT_EQ(::bind(Handle, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
  TProject Loaded(Socket);
  std::string Report;
  try {
    Loaded.LoadProject(Report);
    ADD_FAILURE() << "no error";
  } catch (const ELoadProject& Error) {
    EXPECT_EQ(Error.Message(), "Cannot read the file \"" + Socket + "\"\r" + std::strerror(ENXIO));
  }
  ::close(Handle);
}
