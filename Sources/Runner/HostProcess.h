// The runner's end of one run host: the process, its socket, and the frames
// it has sent. It reads without blocking; the caller waits for its
// descriptors through the program's wait hook.
#pragma once

#include "ChildProcess.h"
#include "FileIdentity.h"
#include "HostProtocol.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kalvoro {

struct THostListRequest;

class THostProcess {
public:
  // Starts a host that waits for a listing or a plan, with aRuntime's
  // sanitizer runtimes preloaded; raises Exception when it cannot be started.
  explicit THostProcess(const THostRuntime& aRuntime = THostRuntime());
  // Starts the host and sends it aPlan.
  explicit THostProcess(const THostPlan& aPlan);
  ~THostProcess();
  THostProcess(const THostProcess&) = delete;
  THostProcess& operator=(const THostProcess&) = delete;

  // Hands a host that sent Finished its next plan; false (nothing sent)
  // when it has loaded another file under the plan's module path, which the
  // dynamic loader would hand back in place of the plan's, runs with other
  // sanitizer runtimes than the plan needs, or holds another module where
  // the plan's runtime looks for leaks at the host's end.
  bool Serve(const THostPlan& aPlan);
  // Sends aPlan ahead to a host that still runs another plan, to run after
  // it; false (nothing sent) where Serve would refuse it or where the socket
  // might not take it at once: the runner must never wait for a host that
  // runs a test.
  bool Queue(const THostPlan& aPlan);
  // Asks the host to list a module (its answer: a Listing frame, then
  // Finished or Retire).
  void SendList(const THostListRequest& aRequest);
  // Whether the host was started with aRuntime's preload (modules of
  // different sanitizer runtimes never share a host).
  bool Runs(const THostRuntime& aRuntime) const { return aRuntime.Preload == FPreload; }
  // Whether the host has loaded a file under aPath (the dynamic loader would
  // hand that back for any other file there).
  bool Holds(const std::string& aPath) const { return FModules.count(aPath) != 0; }
  // The host has loaded this file under aPath (its listing said so).
  void Holding(const std::string& aPath, const TModuleFileIdentity& aFile) {
    FModules[aPath] = aFile;
  }
  // Passes over what the host wrote that no method has taken (between
  // plans), and frees it.
  void SkipOutput();

  // The descriptors to wait for: the socket, and the process's end where
  // the kernel has one.
  std::vector<int> Descriptors() const;
  // Reads what has arrived; false once the host has ended (its process has
  // been reaped, everything it sent before has been read): a closed socket
  // is no end, as a test may close it. Raises EHostProtocol on a garbled
  // frame.
  bool Receive();
  // Takes what the ring holds, without a system call: a look between two
  // readings, where the socket and the process's end can wait.
  void LookAtRing();
  // The next whole frame, if one has arrived.
  bool Next(THostFrameView& aFrame) { return FReader.Next(aFrame); }

  // Hands aPiece the test's standard output (0) or error (1) that the host
  // has written since the last call, up to aEnd (the end that the host
  // told) or up to what is there, in pieces of at most OutputPiece bytes.
  // What was handed on is freed from the file; what nobody wrote (a file
  // made longer by ftruncate) is skipped.
  static constexpr std::size_t OutputPiece = 64u << 10;
  using TOutputPiece = std::function<void(std::string_view)>;
  void TakeOutput(int aStream, std::uint64_t aEnd, const TOutputPiece& aPiece);

  void SendStop();
  void Signal(int aSignal) { FChild->Signal(aSignal); }
  // Ends the host and everything it started, at once.
  void Kill();
  // After its socket closed: gives the process aSeconds to end, then kills it.
  void AwaitEnd(double aSeconds);
  // Closes the host's channel: a host that waits for a plan then unloads its
  // modules (their static destructors run, coverage data is written) and
  // ends.
  void Close();
  // How the host ended ("Test process ended by SIGSEGV"); empty while it runs.
  std::string DeathText() const;
  bool HasEnded() const { return FChild->Ended(); }
  // Whether Descriptors() holds one that tells the process's end.
  bool SeesEnd() const { return FChild->EndedDescriptor() >= 0; }

private:
  void TakeRing();
  // Frees the file's whole pages that have been read.
  void FreeOutput(int aStream);
  bool Serves(const THostPlan& aPlan) const;
  void SendPlan(const THostPlan& aPlan);

  int FSocket = -1;
  std::unique_ptr<TChildProcess> FChild;
  THostFrameReader FReader;
  bool FClosed = false;     // its socket has closed
  bool FClosedHere = false; // the runner closed the channel (Close)
  void* FRing = nullptr;    // the ring the host writes its frames to
  std::uint64_t FRead = 0;  // how far it has been read
  // The files that the host has as its standard output and error (opened
  // anew where it can be, so that looking for data moves no offset of the
  // host's), how far they have been read and freed.
  int FOutput[2] = {-1, -1};
  bool FOwnOffset[2] = {false, false};
  std::uint64_t FTaken[2] = {0, 0};
  std::uint64_t FFreed[2] = {0, 0};
  std::string FMark;    // the variable that marks its processes
  std::string FPreload; // the sanitizer runtimes it was started with
  // The module files of its plans, by path, as the runner listed them.
  std::map<std::string, TModuleFileIdentity> FModules;
};

} // namespace Kalvoro
