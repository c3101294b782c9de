#include "HostProcess.h"

#include "HostProgram.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Kalvoro {

namespace {

// The host's socket in the child.
constexpr int HostDescriptor = 3;

void SendAll(int aSocket, const std::string& aData) {
  std::size_t Done = 0;
  while (Done < aData.size()) {
    const ssize_t Written = send(aSocket, aData.data() + Done, aData.size() - Done, MSG_NOSIGNAL);
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written < 0 && errno == EAGAIN) {
      // The plan is larger than the socket's buffer: wait until the host
      // reads it.
      fd_set Set;
      FD_ZERO(&Set);
      FD_SET(aSocket, &Set);
      timeval Wait{0, 100000};
      select(aSocket + 1, nullptr, &Set, nullptr, &Wait);
      continue;
    }
    if (Written <= 0)
      return; // the host is gone: its death is read from its process
    Done += static_cast<std::size_t>(Written);
  }
}

} // namespace

THostProcess::THostProcess(const THostPlan& aPlan) {
  const std::string Program = HostProgramPath();
  if (Program.empty())
    throw Exception("Cannot start the test process: kalvoro-host is not installed beside the "
                    "framework library");
  int Pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Pair) != 0)
    throw Exception(std::string("Cannot start the test process: ") + std::strerror(errno));
  FSocket = Pair[0];
  TChildOptions Options;
  Options.Program = Program;
  Options.Arguments = {"--run", std::to_string(HostDescriptor), std::to_string(getpid())};
  Options.Descriptors = {{Pair[1], HostDescriptor}};
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
    close(Pair[0]);
    close(Pair[1]);
    throw;
  }
  close(Pair[1]);
  fcntl(FSocket, F_SETFL, fcntl(FSocket, F_GETFL) | O_NONBLOCK);
  THostFrameWriter Writer;
  Writer.Plan(aPlan);
  SendAll(FSocket, Writer.Data());
}

THostProcess::~THostProcess() {
  FChild.reset(); // kills the group and reaps the host
  if (FSocket >= 0)
    close(FSocket);
  for (const int Output : FOutput)
    if (Output >= 0)
      close(Output);
}

std::string THostProcess::TakeOutput(int aStream, std::uint64_t aEnd) {
  const int File = FOutput[aStream];
  struct stat Status {};
  if (File < 0 || fstat(File, &Status) != 0)
    return {};
  const std::uint64_t End = std::min(aEnd, static_cast<std::uint64_t>(Status.st_size));
  std::string Text;
  while (FTaken[aStream] < End) {
    char Buffer[65536];
    const ssize_t Read =
        pread(File, Buffer, std::min<std::uint64_t>(sizeof Buffer, End - FTaken[aStream]),
              static_cast<off_t>(FTaken[aStream]));
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read <= 0)
      break;
    Text.append(Buffer, static_cast<std::size_t>(Read));
    FTaken[aStream] += static_cast<std::uint64_t>(Read);
  }
  return Text;
}

std::vector<int> THostProcess::Descriptors() const {
  std::vector<int> Result;
  if (!FClosed)
    Result.push_back(FSocket);
  if (FChild->EndedDescriptor() >= 0 && !FChild->Ended())
    Result.push_back(FChild->EndedDescriptor());
  return Result;
}

bool THostProcess::Receive() {
  char Buffer[65536];
  while (!FClosed) {
    const ssize_t Read = recv(FSocket, Buffer, sizeof Buffer, MSG_DONTWAIT);
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read < 0)
      break; // nothing more for now
    if (Read == 0) {
      FClosed = true;
      break;
    }
    FReader.Append(Buffer, static_cast<std::size_t>(Read));
  }
  if (FChild->Reap()) {
    // What it sent before it ended is still in the socket: read it all. A
    // process that it forked may hold the socket open, so do not wait for
    // the end.
    for (;;) {
      const ssize_t Read = recv(FSocket, Buffer, sizeof Buffer, MSG_DONTWAIT);
      if (Read < 0 && errno == EINTR)
        continue;
      if (Read <= 0)
        break;
      FReader.Append(Buffer, static_cast<std::size_t>(Read));
    }
    return false;
  }
  return !FClosed;
}

void THostProcess::SendStop() {
  THostFrameWriter Writer;
  Writer.Stop();
  SendAll(FSocket, Writer.Data());
}

void THostProcess::Kill() {
  FChild->Kill();
}

void THostProcess::AwaitEnd(double aSeconds) {
  if (!FChild->WaitFor(aSeconds))
    FChild->Kill();
}

std::string THostProcess::DeathText() const {
  return FChild->Ended() ? FChild->DeathText() : std::string();
}

} // namespace Kalvoro
