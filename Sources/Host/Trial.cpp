// "kalvoro-host --trial FD FLAGS": loads and then unloads each module whose
// path arrives on descriptor FD, in order, each step guarded as a test phase
// is, and answers one record per module (TrialReport.h). A crash, an exit
// call or an error out of a step leaves the loader's lock taken in this
// process: the trial reports it and ends, and the program starts a fresh
// trial for the modules after it.
#include "Trial.h"

#include "CrashGuard.h"
#include "TrialReport.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace Kalvoro {

namespace {

constexpr std::size_t MaxErrorText = 1024;

// One record; nothing in here allocates, so it is safe after a crash.
void Report(int aFile, TTrialTag aTag, const void* aPayload = nullptr, std::uint32_t aSize = 0) {
  char Head[1 + sizeof aSize];
  Head[0] = aTag;
  std::memcpy(Head + 1, &aSize, sizeof aSize);
  WriteAll(aFile, Head, sizeof Head);
  WriteAll(aFile, aPayload, aSize);
}

std::vector<std::string> ReadPaths(int aFile) {
  std::string Data;
  char Buffer[4096];
  for (;;) {
    const ssize_t Count = read(aFile, Buffer, sizeof Buffer);
    if (Count < 0 && errno == EINTR)
      continue;
    if (Count <= 0)
      break;
    Data.append(Buffer, static_cast<std::size_t>(Count));
  }
  std::vector<std::string> Paths;
  for (std::size_t At = 0, End; (End = Data.find('\0', At)) != std::string::npos; At = End + 1)
    Paths.push_back(Data.substr(At, End - At));
  return Paths;
}

enum TStepEnd { seCameThrough, seCrashed, seRaised };

// Runs aStep under aFrame; after a crash the frame tells what it was.
template <class TStep> TStepEnd RunStep(TStep&& aStep, TCrashFrame& aFrame, std::string& aRaised) {
  PushCrashFrame(&aFrame);
  if (sigsetjmp(aFrame.Env, 1) != 0)
    return seCrashed;
  try {
    aStep();
  } catch (...) {
    aRaised = CurrentExceptionText();
    PopCrashFrame(&aFrame);
    return seRaised;
  }
  PopCrashFrame(&aFrame);
  return seCameThrough;
}

// Reports a step that did not come through and ends the trial.
[[noreturn]] void EndAfter(int aFile, TStepEnd aEnd, bool aStartUp, const TCrashFrame& aFrame,
                           const std::string& aRaised) {
  if (aEnd == seCrashed) {
    const TTrialCrash Crash = TTrialCrash::Of(aFrame);
    Report(aFile, aStartUp ? ttStartUpCrash : ttShutDownCrash, &Crash, sizeof Crash);
  } else {
    Report(aFile, aStartUp ? ttStartUpRaised : ttShutDownRaised, aRaised.data(),
           static_cast<std::uint32_t>(std::min(aRaised.size(), MaxErrorText)));
  }
  EndProcessNow(0);
}

void TryModule(int aFile, const std::string& aPath, int aFlags) {
  // Only a regular file is handed to the loader: a named pipe would block
  // its open for ever. What is not one is left to the program to refuse.
  struct stat Status {};
  if (stat(aPath.c_str(), &Status) != 0 || !S_ISREG(Status.st_mode)) {
    Report(aFile, ttCameThrough);
    return;
  }
  void* Handle = nullptr;
  std::string Raised;
  TCrashFrame StartUp;
  TStepEnd End = RunStep([&] { Handle = dlopen(aPath.c_str(), aFlags); }, StartUp, Raised);
  if (End != seCameThrough)
    EndAfter(aFile, End, true, StartUp, Raised);
  if (Handle != nullptr) {
    TCrashFrame ShutDown;
    End = RunStep([&] { dlclose(Handle); }, ShutDown, Raised);
    if (End != seCameThrough)
      EndAfter(aFile, End, false, ShutDown, Raised);
  }
  Report(aFile, ttCameThrough);
}

} // namespace

int TrialMain(int argc, char** argv) {
  if (argc != 4)
    return 2;
  const int File = std::atoi(argv[2]);
  const int Flags = std::atoi(argv[3]);
  Report(File, ttReady);
  const std::vector<std::string> Paths = ReadPaths(File);
  const TSignalScope Scope;
  for (const std::string& Path : Paths)
    TryModule(File, Path, Flags);
  // Nothing of the modules' is left to run at the end.
  EndProcessNow(0);
}

} // namespace Kalvoro
