#include "TestProgram.h"

#include "ChildStarter.h"
#include "Exception.h"
#include "ListedIdentity.h"
#include "UnitTestBase.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace Kalvoro {

namespace {

std::string SystemError(const std::string& aWhat) {
  return aWhat + ": " + std::strerror(errno);
}

void CloseQuietly(int& aDescriptor) {
  if (aDescriptor >= 0)
    close(aDescriptor);
  aDescriptor = -1;
}

} // namespace

TProgramStart ModuleProgramStart(const TModule& aModule, std::vector<std::string> aArguments,
                                 std::vector<std::string> aEnvironment) {
  // A plan never runs a program other than the one listed.
  if (ListingOutOfDate(aModule))
    throw Exception(ModuleFileChangedText);
  const TProgramSettings& Settings = aModule.ProgramSettings();
  TProgramStart Start;
  Start.Path = aModule.LoadPath();
  Start.Arguments = std::move(aArguments);
  Start.Arguments.insert(Start.Arguments.end(), Settings.Arguments.begin(),
                         Settings.Arguments.end());
  Start.Environment = std::move(aEnvironment);
  Start.Environment.insert(Start.Environment.end(), Settings.Environment.begin(),
                           Settings.Environment.end());
  Start.Directory = Settings.Directory;
  if (!Start.Directory.empty() && Start.Directory.front() != '/' &&
      !aModule.BaseDirectory().empty())
    Start.Directory = (std::filesystem::path(aModule.BaseDirectory()) / Start.Directory).string();
  return Start;
}

bool TTestProgram::ScrubbedVariable(const std::string& aName) {
  return aName.starts_with("GTEST_") || aName.starts_with("TEST_") || aName == "XML_OUTPUT_FILE" ||
         aName == "BAZEL_TEST" || aName == "TESTBRIDGE_TEST_ONLY";
}

TTestProgram::TTestProgram(const TProgramStart& aStart) {
  // Everything the child needs is made here: between fork and exec it may
  // only call what is safe there.
  // The program starts in its own folder: a relative path would name
  // another file there.
  std::error_code NoPath;
  const std::filesystem::path Absolute = std::filesystem::absolute(aStart.Path, NoPath);
  const std::string Path = NoPath ? aStart.Path : Absolute.string();
  std::vector<std::string> Arguments{Path};
  Arguments.insert(Arguments.end(), aStart.Arguments.begin(), aStart.Arguments.end());
  std::vector<std::string> Environment;
  for (char** Variable = environ; *Variable != nullptr; ++Variable) {
    const std::string Entry(*Variable);
    if (!ScrubbedVariable(Entry.substr(0, Entry.find('='))))
      Environment.push_back(Entry);
  }
  Environment.insert(Environment.end(), aStart.Environment.begin(), aStart.Environment.end());
  std::vector<char*> Argv;
  for (std::string& Argument : Arguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);
  std::vector<char*> Envp;
  for (std::string& Entry : Environment)
    Envp.push_back(Entry.data());
  Envp.push_back(nullptr);
  const std::string Directory = aStart.Directory.empty()
                                    ? std::filesystem::path(Path).parent_path().string()
                                    : aStart.Directory;

  const int Terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Terminal < 0 || grantpt(Terminal) != 0 || unlockpt(Terminal) != 0) {
    const std::string Why = SystemError("Unable to open a pseudo-terminal");
    if (Terminal >= 0)
      close(Terminal);
    throw Exception(Why);
  }
  char SlaveName[128];
  int Slave = -1;
  if (ptsname_r(Terminal, SlaveName, sizeof SlaveName) == 0)
    Slave = open(SlaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
  int Errors[2] = {-1, -1};
  int Report[2] = {-1, -1};
  const int Null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (Slave < 0 || Null < 0 || pipe2(Errors, O_CLOEXEC) != 0 || pipe2(Report, O_CLOEXEC) != 0) {
    const std::string Why = SystemError("Unable to start the test program");
    for (int Descriptor : {Terminal, Slave, Null, Errors[0], Errors[1], Report[0], Report[1]})
      if (Descriptor >= 0)
        close(Descriptor);
    throw Exception(Why);
  }
  termios Mode{};
  if (tcgetattr(Slave, &Mode) == 0) {
    cfmakeraw(&Mode);
    tcsetattr(Slave, TCSANOW, &Mode);
  }
  const pid_t Parent = getpid();
  int Forked = 0;
  // Forked on the starter thread: the program's parent-death signal follows
  // the thread that started it, and the calling thread may end before it.
  OnStarterThread([&] {
    FPid = fork();
    Forked = errno;
    if (FPid != 0)
      return;
    setsid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != Parent)
      _exit(127);
    // Descriptor 3 is the report's; the others go to 0, 1 and 2 first, so
    // that none of them is overwritten while it is still needed.
    if (dup2(Null, 0) < 0 || dup2(Slave, 1) < 0 || dup2(Errors[1], 2) < 0 ||
        dup2(Report[1], 3) < 0 || (!Directory.empty() && chdir(Directory.c_str()) != 0))
      _exit(127);
    sigset_t None;
    sigemptyset(&None);
    sigprocmask(SIG_SETMASK, &None, nullptr);
    execve(Argv[0], Argv.data(), Envp.data());
    _exit(127);
  });
  for (int Descriptor : {Slave, Null, Errors[1], Report[1]})
    close(Descriptor);
  FOutput = Terminal;
  FErrors = Errors[0];
  FReport = Report[0];
  if (FPid < 0) {
    errno = Forked;
    const std::string Why = SystemError("Unable to start the test program");
    CloseQuietly(FOutput);
    CloseQuietly(FErrors);
    CloseQuietly(FReport);
    throw Exception(Why);
  }
  for (int Descriptor : {FOutput, FErrors, FReport})
    fcntl(Descriptor, F_SETFL, fcntl(Descriptor, F_GETFL) | O_NONBLOCK);
}

TTestProgram::~TTestProgram() {
  if (!Ended()) {
    Signal(SIGKILL);
    while (waitpid(FPid, &FStatus, 0) < 0 && errno == EINTR) {
    }
  }
  // What it left in its group goes with it.
  if (FPid > 0)
    kill(-FPid, SIGKILL);
  CloseQuietly(FOutput);
  CloseQuietly(FErrors);
  CloseQuietly(FReport);
}

bool TTestProgram::Finish(double aSeconds, const TWaitHook& aWait, std::string& aOutput,
                          std::string& aErrors, std::string& aReport) {
  using TClock = std::chrono::steady_clock;
  const auto Deadline = TClock::now() + std::chrono::duration_cast<TClock::duration>(
                                            std::chrono::duration<double>(aSeconds));
  for (;;) {
    const bool Open = ReadOutput(aOutput) | ReadErrors(aErrors) | ReadReport(aReport);
    if (Ended()) {
      ReadOutput(aOutput);
      ReadErrors(aErrors);
      ReadReport(aReport);
      return true;
    }
    int Milliseconds = 50; // a program that closed its channels is looked at for its end
    if (aSeconds >= 0) {
      const auto Left =
          std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now());
      if (Left.count() <= 0) {
        Signal(SIGKILL);
        return false;
      }
      Milliseconds = static_cast<int>(std::min<long long>(Left.count(), Milliseconds));
    }
    aWait(Open ? Descriptors() : std::vector<int>{}, Milliseconds);
  }
}

std::vector<int> TTestProgram::Descriptors() const {
  std::vector<int> Result;
  for (int Descriptor : {FOutput, FErrors, FReport})
    if (Descriptor >= 0)
      Result.push_back(Descriptor);
  return Result;
}

bool TTestProgram::Drain(int& aDescriptor, std::string& aInto) {
  if (aDescriptor < 0)
    return false;
  char Buffer[16384];
  for (;;) {
    const ssize_t Read = read(aDescriptor, Buffer, sizeof Buffer);
    if (Read > 0) {
      aInto.append(Buffer, static_cast<std::size_t>(Read));
      continue;
    }
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      return true;
    // The end (a pseudo-terminal whose last writer closed says EIO).
    CloseQuietly(aDescriptor);
    return false;
  }
}

bool TTestProgram::Ended() {
  if (FEnded || FPid <= 0)
    return true;
  const pid_t Done = waitpid(FPid, &FStatus, WNOHANG);
  if (Done == FPid)
    FEnded = true;
  return FEnded;
}

void TTestProgram::Signal(int aSignal) {
  // Right after its start the program may not lead its group yet.
  if (FPid > 0 && !FEnded && kill(-FPid, aSignal) != 0)
    kill(FPid, aSignal);
}

bool TTestProgram::ExitedNormally() const {
  return FEnded && WIFEXITED(FStatus);
}

int TTestProgram::ExitCode() const {
  return ExitedNormally() ? WEXITSTATUS(FStatus) : -1;
}

std::string TTestProgram::EndText() const {
  if (!FEnded)
    return "still running";
  if (WIFSIGNALED(FStatus)) {
    const char* Abbreviation = sigabbrev_np(WTERMSIG(FStatus));
    return "ended by " + (Abbreviation != nullptr ? "SIG" + std::string(Abbreviation)
                                                  : "signal " + std::to_string(WTERMSIG(FStatus)));
  }
  return "exited with code " + std::to_string(WEXITSTATUS(FStatus));
}

} // namespace Kalvoro
