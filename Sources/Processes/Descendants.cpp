// Ending what the tests of a host started (see Descendants.h).
#include "Descendants.h"

#include "CrashGuard.h"
#include "MonotonicClock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace Kalvoro {

namespace {

// At most this many children are ended per round; a round ends what it
// found, and the next one looks again.
constexpr int RoundSize = 256;
// A test that forks faster than its children are killed cannot keep the
// host from ending: past this many rounds, what is left stays.
constexpr int MaxRounds = 1000;

// The parent of process aPid, from /proc/PID/stat ("pid (name) state ppid
// ..."; the name may hold spaces and parentheses); 0 when it cannot be read.
pid_t ParentOf(pid_t aPid) {
  char Path[64];
  std::snprintf(Path, sizeof Path, "/proc/%d/stat", static_cast<int>(aPid));
  const int File = open(Path, O_RDONLY | O_CLOEXEC);
  if (File < 0)
    return 0;
  char Text[512];
  const ssize_t Count = read(File, Text, sizeof Text - 1);
  close(File);
  if (Count <= 0)
    return 0;
  Text[Count] = '\0';
  const char* NameEnd = std::strrchr(Text, ')');
  // ") S 123": the state, then the parent.
  if (NameEnd == nullptr || NameEnd[1] == '\0' || NameEnd[2] == '\0' || NameEnd[3] != ' ')
    return 0;
  return static_cast<pid_t>(std::atol(NameEnd + 4));
}

// Fills aChildren with this process's children; returns how many.
int Children(pid_t (&aChildren)[RoundSize]) {
  DIR* Processes = opendir("/proc");
  if (Processes == nullptr)
    return 0;
  const pid_t Self = getpid();
  int Count = 0;
  while (const dirent* Entry = readdir(Processes)) {
    if (Entry->d_name[0] < '1' || Entry->d_name[0] > '9')
      continue;
    const auto Pid = static_cast<pid_t>(std::atol(Entry->d_name));
    if (ParentOf(Pid) == Self) {
      aChildren[Count++] = Pid;
      if (Count == RoundSize)
        break;
    }
  }
  closedir(Processes);
  return Count;
}

bool HasChildren() {
  siginfo_t Info{};
  return waitid(P_ALL, 0, &Info, WEXITED | WNOHANG | WNOWAIT | __WALL) == 0;
}

// The threads of this process. The task folder's link count is two plus
// its threads: one system call, where reading the folder takes five (a host
// asks after each listing of a project's modules). The folder is kept open
// per process, as looking its path up costs three times the call itself; a
// descriptor that test code closed or reused is told by its identity.
int ThreadCount() {
  static int Folder = -1;
  static pid_t FolderOf = 0;
  static struct stat Opened {};
  const pid_t Self = GuardedProcess();
  struct stat Tasks {};
  const bool Kept = Folder >= 0 && FolderOf == Self && fstat(Folder, &Tasks) == 0 &&
                    Tasks.st_dev == Opened.st_dev && Tasks.st_ino == Opened.st_ino;
  if (!Kept) {
    // A descriptor that is no longer the folder is not this code's to close.
    Folder = open("/proc/self/task", O_PATH | O_DIRECTORY | O_CLOEXEC);
    FolderOf = Self;
    if (Folder < 0 || fstat(Folder, &Opened) != 0)
      Opened = {};
    Tasks = Opened;
  }
  if (Folder >= 0 && Tasks.st_nlink > 2)
    return static_cast<int>(Tasks.st_nlink - 2);
  int Threads = 0;
  if (DIR* Folder = opendir("/proc/self/task")) {
    while (const dirent* Entry = readdir(Folder))
      if (Entry->d_name[0] != '.')
        ++Threads;
    closedir(Folder);
  }
  return Threads;
}

} // namespace

bool LeftSomethingBehind() {
  const int Threads = ThreadCount();
  siginfo_t Child{};
  const bool Children = waitid(P_ALL, 0, &Child, WEXITED | WNOHANG | WNOWAIT) == 0;
  itimerval Alarm{};
  const bool Pending = getitimer(ITIMER_REAL, &Alarm) == 0 &&
                       (Alarm.it_value.tv_sec != 0 || Alarm.it_value.tv_usec != 0);
  return Threads != 1 || Children || Pending;
}

void AdoptOrphans() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
}

bool AdoptsOrphans() {
  int Adopts = 0;
  return prctl(PR_GET_CHILD_SUBREAPER, &Adopts) == 0 && Adopts != 0;
}

void EndDescendants() {
  for (int Round = 0; Round < MaxRounds && HasChildren(); ++Round) {
    pid_t Found[RoundSize];
    const int Count = Children(Found);
    if (Count == 0) {
      // Only ended ones that wait to be reaped (or /proc cannot be read).
      while (waitpid(-1, nullptr, WNOHANG | __WALL) > 0) {
      }
      return;
    }
    for (int I = 0; I < Count; ++I)
      kill(Found[I], SIGKILL);
    // Each one's own children are handed to this process as it ends, and
    // the next round finds them.
    for (int I = 0; I < Count; ++I)
      while (waitpid(Found[I], nullptr, __WALL) < 0 && errno == EINTR) {
      }
  }
}

std::string HostMarkVariable() {
  static unsigned Hosts = 0;
  return "KALVORO_HOST_MARK=" + std::to_string(getpid()) + "." + std::to_string(++Hosts) + "." +
         std::to_string(MonotonicNanoseconds());
}

void EndProcessesMarked(const std::string& aVariable) {
  const pid_t Self = getpid();
  std::string Environment;
  for (int Round = 0; Round < 4; ++Round) {
    int Found = 0;
    DIR* Processes = opendir("/proc");
    if (Processes == nullptr)
      return;
    while (const dirent* Entry = readdir(Processes)) {
      if (Entry->d_name[0] < '1' || Entry->d_name[0] > '9')
        continue;
      const auto Pid = static_cast<pid_t>(std::atol(Entry->d_name));
      if (Pid == Self)
        continue;
      char Path[64];
      std::snprintf(Path, sizeof Path, "/proc/%d/environ", static_cast<int>(Pid));
      const int File = open(Path, O_RDONLY | O_CLOEXEC);
      if (File < 0)
        continue;
      Environment.assign(1, '\0');
      char Buffer[4096];
      for (ssize_t Count; (Count = read(File, Buffer, sizeof Buffer)) > 0;)
        Environment.append(Buffer, static_cast<std::size_t>(Count));
      close(File);
      if (Environment.find('\0' + aVariable + '\0') != std::string::npos ||
          Environment.ends_with('\0' + aVariable)) {
        kill(Pid, SIGKILL);
        ++Found;
      }
    }
    closedir(Processes);
    if (Found == 0)
      return;
  }
}

} // namespace Kalvoro
