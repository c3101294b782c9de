// Lists modules in run hosts, so that a program never runs a module's code
// to know what it holds: a host loads the file, answers its unit tests and
// methods (or why it could not load it) and keeps it loaded, waiting for the
// plans of a run, which take the host from here. One host lists a project's
// modules one after another; a module whose start-up ends its host is not
// loaded, with the reason, and a fresh host lists the modules after it.
// Where the program said which modules come (Expect), the host is asked
// for the next one with each listing, so that it loads that module while
// the program takes in the one before.
#pragma once

#include "HostListing.h"
#include "HostRunner.h"
#include "ModuleLister.h"
#include "Sanitizer.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

class THostProcess;
struct THostPlan;

// Ends hosts that wait for a plan: each is told to end, unloads its modules
// and ends; those still there after aSeconds (a static destructor that
// hangs) are killed.
void EndWaitingHosts(std::vector<std::unique_ptr<THostProcess>>& aHosts, double aSeconds);

class THostLister : public IModuleLister {
public:
  explicit THostLister(TWaitHook aWait = PollWait);
  ~THostLister() override;
  THostLister(const THostLister&) = delete;
  THostLister& operator=(const THostLister&) = delete;

  void List(TModule& aModule) override;
  void Forget(const TModule& aModule) override;
  void Expect(const std::vector<const TModule*>& aModules) override;

  // The file as its listing found it; null for a module not listed here.
  const TModuleFileIdentity* Identity(const TModule& aModule) const;
  // How the hosts of a module listed here start (its sanitizer runtimes).
  THostRuntime Runtime(const TModule& aModule) const;
  // A waiting host that may serve aPlan (one that listed its module first),
  // already handed the plan; null when none may.
  std::unique_ptr<THostProcess> TakeHost(const THostPlan& aPlan);
  // Keeps a host that waits for a plan.
  void GiveBack(std::unique_ptr<THostProcess> aHost);
  // Ends the waiting hosts (a project closes): each unloads its modules and
  // ends, and is killed where that takes longer than a grace.
  void EndHosts();
  // Starts a host for modules that need no sanitizer's runtime, to wait for
  // the first listing: its start goes on while the program reads its
  // arguments, project and module files.
  void StartAhead();

  // How long a listing may take, in seconds (start-up of a module in its
  // host); past it the host is ended and the module is not loaded.
  void SetTimeLimit(double aSeconds) { FTimeLimit = aSeconds; }
  int HostsStarted() const { return FHostsStarted; }

private:
  // A listing to ask for, the path its file loads from, and the runtime
  // its host needs (a sanitizer's).
  struct TListing {
    THostListRequest Request;
    std::string Path;
    THostRuntime Runtime;
  };

  // The host that lists aListing: the one it was asked of ahead, else a
  // waiting host that has not loaded its path, or a new one, asked now.
  std::unique_ptr<THostProcess> HostListing(const TListing& aListing);
  // A waiting host of aRuntime that has not loaded aPath, or a new one.
  std::unique_ptr<THostProcess> HostFor(const std::string& aPath, const THostRuntime& aRuntime);
  // Asks aHost for the next expected listing after aListing, where there is
  // one it may list.
  void AskAhead(THostProcess& aHost, const TListing& aListing);
  // Ends the host that was asked for a listing that nobody took (it would
  // answer that listing before anything else).
  void DropAhead();
  // aHost ends: no listing is asked of it ahead any more.
  void LetGo(const THostProcess* aHost);
  static THostListRequest RequestOf(const TModule& aModule) {
    return {HostProtocolVersion, aModule.FullFileName(), aModule.BaseDirectory(), false};
  }
  static TListing ListingOf(const TModule& aModule) {
    return {RequestOf(aModule), aModule.LoadPath(), HostRuntimeFor(aModule.LoadPath())};
  }
  // Reads the host's answer to a listing: true with its payload, false with
  // why the host gave none (its death, or the time limit).
  bool AwaitListing(THostProcess& aHost, std::string& aPayload, std::string& aWhy);
  // After a listing: whether the host waits for more (Finished) or retired.
  bool AwaitFinished(THostProcess& aHost);

  TWaitHook FWait;
  double FTimeLimit;
  int FHostsStarted = 0;
  bool FFresh = false;                               // the listing's host was started for it
  const THostProcess* FStartedAhead = nullptr;       // by StartAhead, not yet listing
  std::vector<std::unique_ptr<THostProcess>> FHosts; // waiting, newest last
  std::map<const TModule*, TModuleFileIdentity> FListed;
  std::deque<TListing> FExpected;           // announced by Expect, not yet listed
  const THostProcess* FAheadHost = nullptr; // asked for FAhead before its List
  TListing FAhead;
  std::map<const TModule*, THostRuntime> FRuntimes;
};

} // namespace Kalvoro
