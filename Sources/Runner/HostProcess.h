// The runner's end of one run host: the process, its socket, and the frames
// it has sent. It reads without blocking; the caller waits for its
// descriptors through the program's wait hook.
#pragma once

#include "ChildProcess.h"
#include "HostProtocol.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Kalvoro {

class THostProcess {
public:
  // Starts the host and sends it aPlan; raises Exception when it cannot be
  // started.
  explicit THostProcess(const THostPlan& aPlan);
  ~THostProcess();
  THostProcess(const THostProcess&) = delete;
  THostProcess& operator=(const THostProcess&) = delete;

  // Hands a host that sent Finished its next plan; false (nothing sent)
  // when it has loaded another file under the plan's module path, which the
  // dynamic loader would hand back in place of the plan's.
  bool Serve(const THostPlan& aPlan);
  // Sends aPlan ahead to a host that still runs another plan, to run after
  // it; false (nothing sent) where Serve would refuse it or where the socket
  // might not take it at once: the runner must never wait for a host that
  // runs a test.
  bool Queue(const THostPlan& aPlan);
  // Passes over what the host wrote that no method has taken (between
  // plans).
  void SkipOutput();

  // The descriptors to wait for: the socket, and the process's end where
  // the kernel has one.
  std::vector<int> Descriptors() const;
  // Reads what has arrived; false once the host has ended (its process has
  // been reaped, everything it sent before has been read) or its socket was
  // closed. Raises EHostProtocol on a garbled frame.
  bool Receive();
  // The next whole frame, if one has arrived.
  bool Next(THostFrameView& aFrame) { return FReader.Next(aFrame); }

  // The test's standard output (0) or error (1) that the host has written
  // since the last call, up to aEnd (the end that the host told), or up to
  // what is there when aEnd is beyond it.
  std::string TakeOutput(int aStream, std::uint64_t aEnd);

  void SendStop();
  void Signal(int aSignal) { FChild->Signal(aSignal); }
  // Ends the host and everything it started, at once.
  void Kill();
  // After its socket closed: gives the process aSeconds to end, then kills it.
  void AwaitEnd(double aSeconds);
  // How the host ended ("Test process ended by SIGSEGV"); empty while it runs.
  std::string DeathText() const;
  bool HasEnded() const { return FChild->Ended(); }
  // Whether Descriptors() holds one that tells the process's end.
  bool SeesEnd() const { return FChild->EndedDescriptor() >= 0; }

private:
  void TakeRing();
  bool Serves(const THostPlan& aPlan) const;
  void SendPlan(const THostPlan& aPlan);

  int FSocket = -1;
  std::unique_ptr<TChildProcess> FChild;
  THostFrameReader FReader;
  bool FClosed = false;
  void* FRing = nullptr;   // the ring the host writes its frames to
  std::uint64_t FRead = 0; // how far it has been read
  // The files that the host has as its standard output and error, and how
  // far they have been read.
  int FOutput[2] = {-1, -1};
  std::uint64_t FTaken[2] = {0, 0};
  // The module files of its plans, by path, as the runner listed them.
  std::map<std::string, TModuleFileIdentity> FModules;
};

} // namespace Kalvoro
