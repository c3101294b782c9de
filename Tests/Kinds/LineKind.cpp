#include "LineKind.h"

#include "KindEvents.h"
#include "ListedUnitTest.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

extern char** environ;

namespace KalvoroTest {

using namespace Kalvoro;

namespace {

const std::string Marker = "kalvoro-tests-line-program";

// Runs the program with aArguments; its standard output, and false when it
// could not start or did not exit with 0.
bool RunProgram(const std::string& aPath, std::vector<std::string> aArguments,
                std::string& aOutput) {
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0)
    return false;
  aArguments.insert(aArguments.begin(), aPath);
  std::vector<char*> Argv;
  for (std::string& Argument : aArguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], STDOUT_FILENO);
  pid_t Child = -1;
  const int Spawned = posix_spawn(&Child, aPath.c_str(), &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  close(Pipe[1]);
  char Buffer[4096];
  for (ssize_t Read; (Read = read(Pipe[0], Buffer, sizeof Buffer)) > 0;)
    aOutput.append(Buffer, static_cast<std::size_t>(Read));
  close(Pipe[0]);
  int Status = 0;
  return Spawned == 0 && waitpid(Child, &Status, 0) == Child && WIFEXITED(Status) &&
         WEXITSTATUS(Status) == 0;
}

class TLineRunner final : public IKindRunner {
public:
  void Begin(TTestScenario&, const std::vector<TPlannedMethod>&) override { FStop = false; }
  void End(bool) override {}
  void Stop() override { FStop = true; }
  void StopNow() override { FStop = true; }
  bool StopRequested() const override { return FStop; }

  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override {
    TMethodEvents Events(aUnitTest, aMethodIndex);
    Events.Start();
    std::string Output;
    const bool Exited = RunProgram(
        aUnitTest.Module()->LoadPath(),
        {"--run", aUnitTest.Name(), aUnitTest.Methods().GetItem(aMethodIndex)->Name()}, Output);
    std::istringstream Lines(Output);
    for (std::string Line; std::getline(Lines, Line);) {
      if (Line.starts_with("report "))
        Events.Report(Line.substr(7));
      else if (Line.starts_with("check ok "))
        Events.Check(true, Line.substr(9));
      else if (Line.starts_with("check fail ")) {
        const std::string Rest = Line.substr(11);
        const auto Space = Rest.find(' ');
        const std::string Place = Rest.substr(0, Space);
        const auto Colon = Place.rfind(':');
        Events.Check(false, Rest.substr(Space + 1), Place.substr(0, Colon),
                     static_cast<unsigned>(std::stoul(Place.substr(Colon + 1))));
      } else if (Line.starts_with("error "))
        Events.Exception(Line.substr(6));
    }
    if (!Exited)
      Events.Exception("The test program did not exit with 0");
    Events.Finish();
  }

private:
  bool FStop = false;
};

} // namespace

bool TLineKind::Recognises(const std::string& aPath) const {
  std::ifstream File(aPath, std::ios::binary);
  const std::string Bytes{std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
  return Bytes.find(Marker) != std::string::npos;
}

void TLineKind::List(TModule& aModule) {
  std::string Output;
  const bool Listed = RunProgram(aModule.LoadPath(), {"--list"}, Output);
  std::istringstream Lines(Output);
  std::string First;
  if (!Listed || !std::getline(Lines, First) || First != Marker) {
    aModule.FailListing(msLoadFailed, "The line program gave no list");
    throw TModuleException("Failed to load package or library \"" + aModule.FullFileName() + "\"");
  }
  // Unit tests in the order the list first names them.
  std::vector<std::pair<std::string, std::vector<std::string>>> Units;
  for (std::string Line; std::getline(Lines, Line);) {
    const auto Space = Line.find(' ');
    const std::string Unit = Line.substr(0, Space);
    if (Units.empty() || Units.back().first != Unit)
      Units.push_back({Unit, {}});
    Units.back().second.push_back(Line.substr(Space + 1));
  }
  std::vector<TUnitTestBase*> UnitTests;
  for (const auto& [Name, Methods] : Units)
    UnitTests.push_back(new TListedUnitTest(&aModule, Name, Methods));
  aModule.AdoptListing(std::move(UnitTests), {});
}

std::unique_ptr<IKindRunner> TLineKind::MakeRunner(const TWaitHook&) {
  return std::make_unique<TLineRunner>();
}

} // namespace KalvoroTest
