// The program's side of the load trials (see ModuleTrial.h): which outcome
// answers a load, from a trial process (TrialProcess.h), from the trial of a
// project's modules, or from the program's own load and unload of the file.
#include "ModuleTrial.h"

#include "CrashGuard.h"
#include "ModuleFile.h"
#include "TrialProcess.h"

#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>

namespace Kalvoro {

namespace {

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
