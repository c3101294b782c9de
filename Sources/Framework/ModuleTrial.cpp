// The program's side of the load trials (see ModuleTrial.h): starts the
// trial process, hands it the paths, reads one outcome per module within the
// time limit, and starts a fresh trial for the rest after a module that ended
// the trial.
#include "ModuleTrial.h"

#include "ChildProcess.h"
#include "HostProgram.h"
#include "ModuleFile.h"
#include "TrialReport.h"

#include <link.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>

namespace Kalvoro {

namespace {

struct TOutcome {
  std::string StartUp;
  std::string ShutDown;
};
using TOutcomes = std::vector<std::optional<TOutcome>>;

std::atomic<double> TimeLimit{10.0};

// A file as it is now: a trial's outcome holds for the same file unchanged.
// A rebuilt file has a new inode, or a new size or times.
using TFileKey = std::tuple<dev_t, ino_t, off_t, long long, long long>;

long long Nanoseconds(const timespec& aTime) {
  return static_cast<long long>(aTime.tv_sec) * 1000000000 + aTime.tv_nsec;
}

TFileKey KeyOf(const struct stat& aStatus) {
  return TFileKey{aStatus.st_dev, aStatus.st_ino, aStatus.st_size, Nanoseconds(aStatus.st_mtim),
                  Nanoseconds(aStatus.st_ctim)};
}

std::optional<TFileKey> KeyOf(const std::string& aPath) {
  struct stat Status {};
  if (stat(aPath.c_str(), &Status) != 0)
    return std::nullopt;
  return KeyOf(Status);
}

std::atomic<std::size_t> TrialsStarted{0};

// The socket's end that the program keeps, closed with the object.
struct TSocket {
  int Ours = -1;
  int Theirs = -1;
  TSocket() {
    int Ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Ends) == 0) {
      Ours = Ends[0];
      Theirs = Ends[1];
    }
  }
  ~TSocket() {
    if (Ours >= 0)
      close(Ours);
    if (Theirs >= 0)
      close(Theirs);
  }
};

void SendPaths(int aSocket, const std::vector<std::string>& aPaths, std::size_t aFrom) {
  std::string Data;
  for (std::size_t I = aFrom; I < aPaths.size(); ++I)
    Data.append(aPaths[I]).push_back('\0');
  for (std::size_t Sent = 0; Sent < Data.size();) {
    const ssize_t Count = send(aSocket, Data.data() + Sent, Data.size() - Sent, MSG_NOSIGNAL);
    if (Count < 0 && errno == EINTR)
      continue;
    if (Count <= 0)
      break; // the trial has ended; what it said is read all the same
    Sent += static_cast<std::size_t>(Count);
  }
  shutdown(aSocket, SHUT_WR);
}

// One trial process over aPaths from aNext on; moves aNext past the modules
// it has an outcome for. False when the trial could not be started or did
// not start as a trial: the rest is then left untried.
class TTrialRun {
public:
  TTrialRun(const std::vector<std::string>& aPaths, TOutcomes& aOutcomes, std::size_t& aNext)
      : FPaths(aPaths), FOutcomes(aOutcomes), FNext(aNext) {}

  bool Run(const std::string& aHost, int aFlags) {
    TSocket Socket;
    if (Socket.Ours < 0)
      return false;
    TChildOptions Options;
    Options.Program = aHost;
    Options.Arguments = {"--trial", "3", std::to_string(aFlags)};
    Options.Descriptors = {{Socket.Theirs, 3}};
    Options.NullOutput = true; // what a module prints while it loads is not shown twice
    std::optional<TChildProcess> Child;
    try {
      Child.emplace(Options);
    } catch (const Exception&) {
      return false;
    }
    CountTrialStarted();
    close(Socket.Theirs);
    Socket.Theirs = -1;
    SendPaths(Socket.Ours, FPaths, FNext);
    const double Limit = TimeLimit.load();
    auto Deadline = Clock::now() + Seconds(Limit);
    bool Open = true;
    while (!Child->Reap()) {
      const auto Left = Deadline - Clock::now();
      if (Left <= Clock::duration::zero()) {
        Child->Kill();
        Read(Socket.Ours);
        if (FNext < FPaths.size() && FReady)
          FOutcomes[FNext++] = TOutcome{LoadTrialTimeLimitText(Limit), {}};
        return FReady;
      }
      pollfd Watch[2] = {{Child->EndedDescriptor(), POLLIN, 0},
                         {Open ? Socket.Ours : -1, POLLIN, 0}};
      const int Timeout =
          static_cast<int>(std::ceil(std::chrono::duration<double, std::milli>(Left).count()));
      poll(Watch, 2, Child->EndedDescriptor() < 0 ? std::min(Timeout, 5) : Timeout);
      if (Watch[1].revents != 0) {
        const std::size_t Before = FNext;
        Open = Read(Socket.Ours);
        if (FNext != Before)
          Deadline = Clock::now() + Seconds(Limit);
      }
    }
    // Ended: what it wrote before it ended is all there.
    Read(Socket.Ours);
    if (!FReady)
      return false;
    if (FNext < FPaths.size() && !FEndedItself)
      FOutcomes[FNext++] = TOutcome{DeathText(Child->Status()), {}};
    return true;
  }

private:
  using Clock = std::chrono::steady_clock;
  static Clock::duration Seconds(double aSeconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(aSeconds));
  }

  // A trial that ended without a word about its module: the module ended it.
  static std::string DeathText(int aStatus) {
    if (WIFSIGNALED(aStatus)) {
      TCrashFrame Frame;
      Frame.Signal = WTERMSIG(aStatus);
      return CrashText(Frame);
    }
    return "Ended the process with exit code " + std::to_string(WEXITSTATUS(aStatus));
  }

  // Reads what is there without waiting; false at the end of the stream.
  bool Read(int aSocket) {
    char Data[4096];
    bool Open = true;
    for (;;) {
      const ssize_t Count = recv(aSocket, Data, sizeof Data, MSG_DONTWAIT);
      if (Count < 0 && errno == EINTR)
        continue;
      if (Count == 0)
        Open = false;
      if (Count <= 0)
        break;
      FBuffer.append(Data, static_cast<std::size_t>(Count));
    }
    TakeRecords();
    return Open;
  }

  void TakeRecords() {
    constexpr std::size_t Head = 1 + sizeof(std::uint32_t);
    std::size_t At = 0;
    while (FBuffer.size() - At >= Head) {
      std::uint32_t Size = 0;
      std::memcpy(&Size, FBuffer.data() + At + 1, sizeof Size);
      if (FBuffer.size() - At - Head < Size)
        break;
      Take(static_cast<TTrialTag>(FBuffer[At]), FBuffer.substr(At + Head, Size));
      At += Head + Size;
    }
    FBuffer.erase(0, At);
  }

  void Take(TTrialTag aTag, const std::string& aPayload) {
    if (aTag == ttReady) {
      FReady = true;
      return;
    }
    if (FNext >= FPaths.size())
      return;
    TOutcome Outcome;
    std::string Text = aPayload;
    if (aTag == ttStartUpCrash || aTag == ttShutDownCrash) {
      TTrialCrash Crash;
      if (aPayload.size() == sizeof Crash) {
        std::memcpy(static_cast<void*>(&Crash), aPayload.data(), sizeof Crash);
        Text = Crash.Text();
      }
    }
    if (aTag == ttStartUpCrash || aTag == ttStartUpRaised)
      Outcome.StartUp = Text;
    else if (aTag == ttShutDownCrash || aTag == ttShutDownRaised)
      Outcome.ShutDown = Text;
    // The trial ends itself after a module whose step broke.
    FEndedItself = aTag != ttCameThrough;
    FOutcomes[FNext++] = Outcome;
  }

  const std::vector<std::string>& FPaths;
  TOutcomes& FOutcomes;
  std::size_t& FNext;
  std::string FBuffer;
  bool FReady = false;
  bool FEndedItself = false;
};

// Tries every path, in as many trial processes as crashes make necessary;
// the modules no trial could be started for are left without an outcome.
TOutcomes RunTrials(const std::vector<std::string>& aPaths, int aFlags) {
  TOutcomes Outcomes(aPaths.size());
  const std::string Host = HostProgramPath();
  if (Host.empty())
    return Outcomes;
  std::size_t Next = 0;
  while (Next < aPaths.size())
    if (!TTrialRun(aPaths, Outcomes, Next).Run(Host, aFlags))
      break;
  return Outcomes;
}

// The shut-down outcomes of loaded libraries, by the name they were loaded
// under, until they are released.
struct TShutDown {
  std::optional<TFileKey> Key;
  std::string Text;
};
std::mutex TrialsMutex;
std::map<std::string, TShutDown> ShutDowns;

// The files whose start-up and shut-down have both run in this program
// without a fault, and the files of the libraries loaded now as they were
// when they loaded, by the name they were loaded under (guarded by
// TrialsMutex).
std::set<TFileKey> Proven;
std::map<std::string, TFileKey> LoadedAs;

bool IsProven(const std::optional<TFileKey>& aKey) {
  std::lock_guard<std::mutex> Lock(TrialsMutex);
  return aKey && Proven.count(*aKey) != 0;
}

[[gnu::tls_model("initial-exec")]] thread_local TLoadTrials* CurrentTrials = nullptr;

} // namespace

struct TLoadTrials::TResults {
  std::map<TFileKey, TOutcome> ByFile;
};

TLoadTrials::TLoadTrials(const std::vector<std::string>& aPaths)
    : FResults(std::make_unique<TResults>()), FOuter(CurrentTrials) {
  // A proven file is answered by TryStartUp itself.
  std::vector<std::string> Untried;
  for (const std::string& Path : aPaths)
    if (!IsProven(KeyOf(Path)))
      Untried.push_back(Path);
  const TOutcomes Outcomes = RunTrials(Untried, ModuleOpenFlags);
  for (std::size_t I = 0; I < Untried.size(); ++I)
    if (Outcomes[I])
      if (const auto Key = KeyOf(Untried[I]))
        FResults->ByFile[*Key] = *Outcomes[I];
  CurrentTrials = this;
}

TLoadTrials::~TLoadTrials() {
  CurrentTrials = FOuter;
}

namespace {
// Off in a run host: it is a disposable process already, and its runner
// tried the module when it loaded it.
std::atomic<bool> TrialsEnabled{true};
} // namespace

void SetLoadTrialsEnabled(bool aEnabled) {
  TrialsEnabled = aEnabled;
}

std::string TryStartUp(const std::string& aPath, int aFlags) {
  if (!TrialsEnabled)
    return {};
  const std::optional<TFileKey> Key = KeyOf(aPath);
  std::optional<TOutcome> Outcome;
  // This program has run the start-up and shut-down of this very file itself.
  if (aFlags == ModuleOpenFlags && IsProven(Key))
    Outcome = TOutcome{};
  for (TLoadTrials* Trials = CurrentTrials;
       !Outcome && Trials != nullptr && Key && aFlags == ModuleOpenFlags; Trials = Trials->FOuter) {
    const auto Found = Trials->FResults->ByFile.find(*Key);
    if (Found != Trials->FResults->ByFile.end()) {
      Outcome = Found->second;
      break;
    }
  }
  if (!Outcome)
    Outcome = RunTrials({aPath}, aFlags).front();
  std::lock_guard<std::mutex> Lock(TrialsMutex);
  LoadedAs.erase(aPath);
  if (Key)
    LoadedAs[aPath] = *Key;
  if (!Outcome) {
    ShutDowns.erase(aPath);
    return TryStartUpInFork(aPath, aFlags);
  }
  ShutDowns[aPath] = TShutDown{Key, Outcome->ShutDown};
  return Outcome->StartUp;
}

std::string TryShutDown(void* aHandle) {
  if (!TrialsEnabled)
    return {};
  link_map* Map = nullptr;
  if (dlinfo(aHandle, RTLD_DI_LINKMAP, &Map) == 0 && Map != nullptr && Map->l_name != nullptr) {
    const std::string Name = Map->l_name;
    std::lock_guard<std::mutex> Lock(TrialsMutex);
    const auto Found = ShutDowns.find(Name);
    if (Found != ShutDowns.end()) {
      const TShutDown ShutDown = Found->second;
      ShutDowns.erase(Found);
      if (ShutDown.Key && ShutDown.Key == KeyOf(Name))
        return ShutDown.Text;
    }
  }
  return TryShutDownInFork(aHandle);
}

void NoteProven(int aFile, bool aProven) {
  struct stat Status {};
  if (fstat(aFile, &Status) != 0)
    return;
  const TFileKey Key = KeyOf(Status);
  std::lock_guard<std::mutex> Lock(TrialsMutex);
  const auto Loaded = LoadedAs.find(DescriptorPath(aFile));
  // Only the file as it was when it loaded has been proven.
  const bool Unchanged = Loaded != LoadedAs.end() && Loaded->second == Key;
  if (Loaded != LoadedAs.end()) {
    Proven.erase(Loaded->second);
    LoadedAs.erase(Loaded);
  }
  if (aProven && Unchanged)
    Proven.insert(Key);
  else
    Proven.erase(Key);
}

void ForgetProvenModules() {
  std::lock_guard<std::mutex> Lock(TrialsMutex);
  Proven.clear();
}

void CountTrialStarted() {
  ++TrialsStarted;
}

std::size_t LoadTrialsStarted() {
  return TrialsStarted.load();
}

void SetLoadTrialTimeLimit(double aSeconds) {
  TimeLimit = aSeconds;
}

double LoadTrialTimeLimit() {
  return TimeLimit.load();
}

std::string LoadTrialTimeLimitText(double aSeconds) {
  return "Start-up or shut-down did not end within " + SecondsText(aSeconds) + " s";
}

} // namespace Kalvoro
