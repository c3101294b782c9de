// The trial processes (see TrialProcess.h).
#include "TrialProcess.h"

#include "ChildProcess.h"
#include "HostProgram.h"
#include "ModuleTrial.h"
#include "TrialReport.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

namespace Kalvoro {

namespace {

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
    // The C library's fatal messages ("double free ...") go there too, not
    // to the terminal.
    Options.Environment = {"LIBC_FATAL_STDERR_=1"};
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
    const double Limit = LoadTrialTimeLimit();
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
      FOutcomes[FNext++] = TOutcome{Child->StatusKnown() ? DeathText(Child->Status())
                                                         : "Ended the process; how is unknown",
                                    {}};
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

} // namespace

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

} // namespace Kalvoro
