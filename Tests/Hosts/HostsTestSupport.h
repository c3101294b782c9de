// Runs the real console runner as a program, with its report files in a
// folder of their own, and reads what it wrote.
#pragma once

#include "TestFiles.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace HostsTest {

namespace fs = std::filesystem;

using KalvoroTest::ReadFile;
using TScratch = KalvoroTest::TScratchDir;

// What one run of the program left: its exit code (-N: ended by signal N),
// its peak memory, its standard output and error, and its four reports.
struct TRun {
  int Code = -1;
  long PeakKiB = 0; // the program's largest resident set
  std::string Out;
  std::string Err;
  std::string Log;
  std::string Errors;
  std::string Summary;
  std::string JUnit;
};

// Starts "kalvoro run aTarget aExtra..." with every report written to a file
// of aFolder (named after aTag), standard input from /dev/null, or, given
// aTerminal (a terminal's path), in a session of its own with that terminal
// as its controlling terminal and standard input. Returns its pid.
inline pid_t StartRunner(const std::string& aTarget, const std::vector<std::string>& aExtra,
                         const fs::path& aFolder, const std::string& aTag,
                         const std::string& aTerminal = {}) {
  const fs::path Base = aFolder / aTag;
  std::vector<std::string> Arguments{KALVORO_RUNNER, "run",
                                     aTarget,        "--no-progress",
                                     "--log",        Base.string() + ".log",
                                     "--errors",     Base.string() + ".errors",
                                     "--summary",    Base.string() + ".summary",
                                     "--junit",      Base.string() + ".xml"};
  Arguments.insert(Arguments.end(), aExtra.begin(), aExtra.end());
  std::vector<char*> Argv;
  for (std::string& Argument : Arguments)
    Argv.push_back(Argument.data());
  Argv.push_back(nullptr);
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  if (aTerminal.empty()) {
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  } else {
    // The session comes first: the terminal that its leader then opens
    // becomes its controlling terminal.
    posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_addopen(&Actions, 0, aTerminal.c_str(), O_RDWR, 0);
  }
  posix_spawn_file_actions_addopen(&Actions, 1, (Base.string() + ".out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&Actions, 2, (Base.string() + ".err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t Pid = -1;
  const int Error = posix_spawn(&Pid, Argv[0], &Actions, &Attributes, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attributes);
  if (Error != 0)
    throw std::runtime_error("cannot start " + Arguments[0]);
  return Pid;
}

// Waits for the runner aPid started by StartRunner and reads what it left.
inline TRun FinishRunner(pid_t aPid, const fs::path& aFolder, const std::string& aTag) {
  const fs::path Base = aFolder / aTag;
  int Status = 0;
  rusage Usage{};
  while (wait4(aPid, &Status, 0, &Usage) < 0 && errno == EINTR) {
  }
  TRun Run;
  Run.PeakKiB = Usage.ru_maxrss;
  Run.Code = WIFEXITED(Status) ? WEXITSTATUS(Status) : -WTERMSIG(Status);
  Run.Out = ReadFile(Base.string() + ".out");
  Run.Err = ReadFile(Base.string() + ".err");
  Run.Log = ReadFile(Base.string() + ".log");
  Run.Errors = ReadFile(Base.string() + ".errors");
  Run.Summary = ReadFile(Base.string() + ".summary");
  Run.JUnit = ReadFile(Base.string() + ".xml");
  return Run;
}

// Runs "kalvoro run aTarget aExtra..." to its end (see StartRunner).
inline TRun RunRunner(const std::string& aTarget, const std::vector<std::string>& aExtra,
                      const fs::path& aFolder, const std::string& aTag,
                      const std::string& aTerminal = {}) {
  return FinishRunner(StartRunner(aTarget, aExtra, aFolder, aTag, aTerminal), aFolder, aTag);
}

// How often aPart occurs in aText.
inline std::size_t Occurrences(const std::string& aText, const std::string& aPart) {
  std::size_t Count = 0;
  for (std::size_t At = aText.find(aPart); At != std::string::npos;
       At = aText.find(aPart, At + aPart.size()))
    ++Count;
  return Count;
}

// The summary's result lines, "RESULT T.M", in their order.
inline std::vector<std::string> SummaryResults(const std::string& aSummary) {
  static const std::regex Line(R"((SUCCESS|FAILURE|EXCEPTION|SKIPPED) +(\S+)\r)");
  std::vector<std::string> Result;
  for (auto It = std::sregex_iterator(aSummary.begin(), aSummary.end(), Line);
       It != std::sregex_iterator(); ++It)
    Result.push_back((*It)[1].str() + " " + (*It)[2].str());
  return Result;
}

} // namespace HostsTest
