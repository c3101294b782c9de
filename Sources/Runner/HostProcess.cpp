#include "HostProcess.h"

#include "Descendants.h"
#include "HostListing.h"
#include "HostProgram.h"

#include "HostRing.h"
#include "WriteAll.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Kalvoro {

namespace {

// The host's socket and ring in the child.
constexpr int HostDescriptor = 3;
constexpr int RingDescriptor = 4;

// A plan larger than the socket's buffer waits until the host reads it; a
// host that is gone is not an error here: its death is read from its process.
void SendAll(int aSocket, const std::string& aData) {
  (void)WriteAll(aSocket, aData.data(), aData.size());
}

} // namespace

THostProcess::THostProcess(const THostPlan& aPlan) : THostProcess(aPlan.Runtime) {
  SendPlan(aPlan);
}

THostProcess::THostProcess(const THostRuntime& aRuntime) : FPreload(aRuntime.Preload) {
  const std::string Program = HostProgramPath();
  if (Program.empty())
    throw Exception("Cannot start the test process: kalvoro-host is not installed beside the "
                    "framework library");
  int Pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Pair) != 0)
    throw Exception(std::string("Cannot start the test process: ") + std::strerror(errno));
  FSocket = Pair[0];
  const int Ring = memfd_create("kalvoro-ring", MFD_CLOEXEC);
  if (Ring < 0 || ftruncate(Ring, HostRingSize) != 0 ||
      (FRing = mmap(nullptr, HostRingSize, PROT_READ | PROT_WRITE, MAP_SHARED, Ring, 0)) ==
          MAP_FAILED) {
    const int Error = errno;
    FRing = nullptr;
    close(Pair[1]);
    if (Ring >= 0)
      close(Ring);
    throw Exception(std::string("Cannot start the test process: ") + std::strerror(Error));
  }
  TChildOptions Options;
  Options.Program = Program;
  Options.Arguments = {"--run", std::to_string(HostDescriptor), std::to_string(RingDescriptor),
                       std::to_string(getpid())};
  Options.Descriptors = {{Pair[1], HostDescriptor}, {Ring, RingDescriptor}};
  // The C library writes its fatal messages ("double free or corruption")
  // to the terminal unless told otherwise: they belong to the method's
  // output, and must not turn up on the terminal after the run.
  // The mark lets this process find what the host's tests left after the
  // host has gone, whatever group or session it moved to.
  FMark = HostMarkVariable();
  Options.Environment = {"LIBC_FATAL_STDERR_=1", FMark};
  for (const std::string& Variable : aRuntime.Environment())
    Options.Environment.push_back(Variable);
  Options.FixedAddresses = aRuntime.FixedAddresses();
  // The test's output goes to files that this process reads as the host
  // tells how far they reach, so that it shows each method's share in its
  // place and keeps it; what a dying host wrote last is still there.
  for (int Stream = 0; Stream < 2; ++Stream) {
    FOutput[Stream] = memfd_create(Stream == 0 ? "kalvoro-output" : "kalvoro-error", MFD_CLOEXEC);
    if (FOutput[Stream] >= 0) {
      fcntl(FOutput[Stream], F_SETFL, fcntl(FOutput[Stream], F_GETFL) | O_APPEND);
      Options.Descriptors.emplace_back(FOutput[Stream], Stream + 1);
    }
  }
  try {
    FChild = std::make_unique<TChildProcess>(Options);
  } catch (...) {
    close(Pair[1]);
    close(Ring);
    throw;
  }
  close(Pair[1]);
  close(Ring);
  // The host shares the files' offset (it tells how far it wrote by its
  // own); this process reads through descriptions of its own where it can.
  for (int Stream = 0; Stream < 2; ++Stream) {
    if (FOutput[Stream] < 0)
      continue;
    const std::string Path = "/proc/self/fd/" + std::to_string(FOutput[Stream]);
    const int Own = open(Path.c_str(), O_RDWR | O_CLOEXEC);
    if (Own >= 0) {
      close(FOutput[Stream]);
      FOutput[Stream] = Own;
      FOwnOffset[Stream] = true;
    }
  }
  fcntl(FSocket, F_SETFL, fcntl(FSocket, F_GETFL) | O_NONBLOCK);
}

void THostProcess::SendList(const THostListRequest& aRequest) {
  THostFrameWriter Writer;
  WriteListRequest(Writer, aRequest);
  SendAll(FSocket, Writer.Data());
}

void THostProcess::SendPlan(const THostPlan& aPlan) {
  FModules[aPlan.ModulePath] = aPlan.Module;
  THostFrameWriter Writer;
  Writer.Plan(aPlan);
  SendAll(FSocket, Writer.Data());
}

bool THostProcess::Serves(const THostPlan& aPlan) const {
  if (!Runs(aPlan.Runtime))
    return false;
  const auto Loaded = FModules.find(aPlan.ModulePath);
  // A host that reports leaks at its end holds the plan's file alone, so
  // that the report belongs to that module.
  if (aPlan.Runtime.ChecksLeaksAtEnd() && FModules.size() > (Loaded != FModules.end() ? 1u : 0u))
    return false;
  return Loaded == FModules.end() || Loaded->second == aPlan.Module;
}

bool THostProcess::Serve(const THostPlan& aPlan) {
  if (!Serves(aPlan))
    return false;
  SendPlan(aPlan);
  return true;
}

bool THostProcess::Queue(const THostPlan& aPlan) {
  if (!Serves(aPlan))
    return false;
  THostFrameWriter Writer;
  Writer.Plan(aPlan);
  // What the socket holds unread and its buffer: a plan that takes at most
  // a quarter of the buffer, with room to spare, goes in at once.
  int Unread = 0;
  int Buffer = 0;
  socklen_t Length = sizeof Buffer;
  if (ioctl(FSocket, SIOCOUTQ, &Unread) != 0 ||
      getsockopt(FSocket, SOL_SOCKET, SO_SNDBUF, &Buffer, &Length) != 0 ||
      static_cast<std::size_t>(Unread) + 2 * Writer.Data().size() >
          static_cast<std::size_t>(Buffer) / 2)
    return false;
  FModules[aPlan.ModulePath] = aPlan.Module;
  SendAll(FSocket, Writer.Data());
  return true;
}

void THostProcess::SkipOutput() {
  for (int Stream = 0; Stream < 2; ++Stream) {
    struct stat Status {};
    if (FOutput[Stream] >= 0 && fstat(FOutput[Stream], &Status) == 0)
      FTaken[Stream] = std::max(FTaken[Stream], static_cast<std::uint64_t>(Status.st_size));
    FreeOutput(Stream);
  }
}

void THostProcess::FreeOutput(int aStream) {
  // Whole pages only: a page punched in parts would stay.
  const std::uint64_t Page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  const std::uint64_t Whole = FTaken[aStream] / Page * Page;
  if (FOutput[aStream] < 0 || Whole <= FFreed[aStream])
    return;
  if (fallocate(FOutput[aStream], FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                static_cast<off_t>(FFreed[aStream]),
                static_cast<off_t>(Whole - FFreed[aStream])) == 0)
    FFreed[aStream] = Whole;
}

THostProcess::~THostProcess() {
  // A host that ended with 0 after its channel was closed has ended what
  // its tests started as its last act, and where this program adopts
  // orphans whatever escaped comes to it; only then is the search through
  // every process of the machine spared.
  const bool EndedItself = FClosedHere && FChild->Ended() && FChild->StatusKnown() &&
                           WIFEXITED(FChild->Status()) && WEXITSTATUS(FChild->Status()) == 0 &&
                           AdoptsOrphans();
  FChild.reset(); // kills the group and reaps the host
  // What its tests started and that it did not end (it was killed, or ended
  // at once) goes too.
  if (!EndedItself)
    EndProcessesMarked(FMark);
  if (FRing != nullptr)
    munmap(FRing, HostRingSize);
  if (FSocket >= 0)
    close(FSocket);
  for (const int Output : FOutput)
    if (Output >= 0)
      close(Output);
}

void THostProcess::TakeOutput(int aStream, std::uint64_t aEnd, const TOutputPiece& aPiece) {
  const int File = FOutput[aStream];
  struct stat Status {};
  if (File < 0 || fstat(File, &Status) != 0)
    return;
  const std::uint64_t End = std::min(aEnd, static_cast<std::uint64_t>(Status.st_size));
  std::uint64_t& Taken = FTaken[aStream];
  std::uint64_t DataEnd = Taken; // where the data found last ends
  char Buffer[OutputPiece];
  while (Taken < End) {
    if (Taken >= DataEnd) {
      DataEnd = End;
      // Skips the holes: what was freed, and what a test's ftruncate added.
      const off_t Data = FOwnOffset[aStream] ? lseek(File, static_cast<off_t>(Taken), SEEK_DATA)
                                             : static_cast<off_t>(Taken);
      if (Data < 0 && errno == ENXIO) {
        Taken = End;
        break;
      }
      if (Data >= 0 && static_cast<std::uint64_t>(Data) > Taken) {
        Taken = std::min(static_cast<std::uint64_t>(Data), End);
        DataEnd = Taken;
        continue;
      }
      const off_t Hole =
          FOwnOffset[aStream] ? lseek(File, static_cast<off_t>(Taken), SEEK_HOLE) : off_t{-1};
      if (Hole > 0 && static_cast<std::uint64_t>(Hole) > Taken)
        DataEnd = std::min(static_cast<std::uint64_t>(Hole), End);
    }
    const ssize_t Read =
        pread(File, Buffer, std::min<std::uint64_t>(sizeof Buffer, DataEnd - Taken),
              static_cast<off_t>(Taken));
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read <= 0)
      break;
    Taken += static_cast<std::uint64_t>(Read);
    aPiece(std::string_view(Buffer, static_cast<std::size_t>(Read)));
    FreeOutput(aStream);
  }
}

std::vector<int> THostProcess::Descriptors() const {
  std::vector<int> Result;
  if (!FClosed)
    Result.push_back(FSocket);
  if (FChild->EndedDescriptor() >= 0 && !FChild->Ended())
    Result.push_back(FChild->EndedDescriptor());
  return Result;
}

void THostProcess::TakeRing() {
  if (!RingTake(FRing, FRead, FReader))
    throw EHostProtocol("Garbled frame from the test process: its ring does not add up");
}

bool THostProcess::Receive() {
  // While the ring brings frames, the socket and the process's end wait
  // until it has none: a host that runs ahead costs no system call per
  // reading. Its end is seen once the ring has been read empty.
  if (!FClosed && RingHasNew(FRing, FRead)) {
    TakeRing();
    return true;
  }
  // The socket only brings wake-ups, and its end.
  char Buffer[256];
  while (!FClosed) {
    const ssize_t Read = recv(FSocket, Buffer, sizeof Buffer, MSG_DONTWAIT);
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read < 0)
      break;
    if (Read == 0)
      FClosed = true;
  }
  // Whether it has ended is asked before the ring is read, so that all it
  // published before its end is read. A closed socket is no end: test code
  // may close it, and the host still reports through its ring.
  const bool Ended = FChild->Reap();
  TakeRing();
  return !Ended;
}

void THostProcess::LookAtRing() {
  if (!FClosed && RingHasNew(FRing, FRead))
    TakeRing();
}

void THostProcess::SendStop() {
  THostFrameWriter Writer;
  Writer.Stop();
  SendAll(FSocket, Writer.Data());
}

void THostProcess::Kill() {
  FChild->Kill();
}

void THostProcess::Close() {
  FClosedHere = true;
  if (FSocket >= 0)
    shutdown(FSocket, SHUT_RDWR);
}

void THostProcess::AwaitEnd(double aSeconds) {
  if (!FChild->WaitFor(aSeconds))
    FChild->Kill();
}

std::string THostProcess::DeathText() const {
  return FChild->Ended() ? FChild->DeathText() : std::string();
}

} // namespace Kalvoro
