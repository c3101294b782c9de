#include "HostLister.h"

#include "CrashGuard.h"
#include "HostListing.h"
#include "HostProcess.h"
#include "ListedUnitTest.h"
#include "ModuleKind.h"
#include "ModuleLoadText.h"

#include <algorithm>
#include <chrono>

namespace Kalvoro {

namespace {

// How often a listing's wait looks at the host's ring, in ms (a small frame
// in the ring wakes no one).
constexpr int RingLook = 2;

using TClock = std::chrono::steady_clock;

// How long a waiting host may take to unload its modules and end.
constexpr double EndGrace = 3.0;

bool SameRequest(const THostListRequest& aOne, const THostListRequest& aOther) {
  return aOne.FileName == aOther.FileName && aOne.BaseDirectory == aOther.BaseDirectory;
}

int MillisecondsLeft(TClock::time_point aDeadline) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TClock::now()).count();
  return static_cast<int>(std::clamp<long long>(Left, 0, RingLook));
}

} // namespace

THostLister::THostLister(TWaitHook aWait) : FWait(std::move(aWait)), FTimeLimit(10.0) {
  if (!FWait)
    FWait = PollWait;
}

THostLister::~THostLister() {
  EndHosts();
}

void EndWaitingHosts(std::vector<std::unique_ptr<THostProcess>>& aHosts, double aSeconds) {
  for (const auto& Host : aHosts)
    Host->Close();
  const auto Deadline = TClock::now() + std::chrono::duration_cast<TClock::duration>(
                                            std::chrono::duration<double>(aSeconds));
  for (const auto& Host : aHosts)
    Host->AwaitEnd(std::max(0.0, std::chrono::duration<double>(Deadline - TClock::now()).count()));
  aHosts.clear();
}

void THostLister::EndHosts() {
  FAheadHost = nullptr;
  FStartedAhead = nullptr;
  EndWaitingHosts(FHosts, EndGrace);
}

std::unique_ptr<THostProcess> THostLister::HostFor(const std::string& aPath,
                                                   const THostRuntime& aRuntime) {
  for (std::size_t I = FHosts.size(); I-- > 0;) {
    if (FHosts[I]->Holds(aPath) || !FHosts[I]->Runs(aRuntime))
      continue;
    std::unique_ptr<THostProcess> Host = std::move(FHosts[I]);
    FHosts.erase(FHosts.begin() + static_cast<std::ptrdiff_t>(I));
    // A host started ahead may not have said hello yet.
    const bool Ahead = Host.get() == FStartedAhead;
    if (Ahead)
      FStartedAhead = nullptr;
    try {
      if (Host->Receive()) {
        if (Ahead)
          FFresh = true;
        return Host;
      }
    } catch (const EHostProtocol&) {
    }
  }
  auto Host = std::make_unique<THostProcess>(aRuntime);
  ++FHostsStarted;
  FFresh = true;
  return Host;
}

void THostLister::StartAhead() {
  if (!FHosts.empty())
    return;
  FHosts.push_back(std::make_unique<THostProcess>(THostRuntime{}));
  FStartedAhead = FHosts.back().get();
  ++FHostsStarted;
}

void THostLister::Expect(const std::vector<const TModule*>& aModules) {
  FExpected.clear();
  for (const TModule* Module : aModules)
    FExpected.push_back(ListingOf(*Module));
}

void THostLister::List(TModule& aModule) {
  FListed.erase(&aModule);
  FRuntimes.erase(&aModule);
  // The announced listings come in their order; one out of it ends them.
  // An announced one has read its file's runtime already (a read of the
  // file's dynamic section each).
  TListing Asked;
  if (!FExpected.empty() && SameRequest(FExpected.front().Request, RequestOf(aModule))) {
    Asked = std::move(FExpected.front());
    FExpected.pop_front();
    Asked.Request.Release = !FExpected.empty();
  } else {
    FExpected.clear();
    Asked = ListingOf(aModule);
  }
  const std::string& Path = Asked.Path;
  // A test program is never run to find out what it holds: no kind lists
  // one yet (a listing asked ahead was looked at before it was sent).
  const bool AskedAhead = FAheadHost != nullptr && SameRequest(FAhead.Request, Asked.Request);
  if (!AskedAhead && ModuleKindOf(Path) == TModuleKind::TestProgram) {
    aModule.FailListing(msLoadFailed, TestProgramRefusal);
    throw TModuleException(LoadFailure(aModule.FullFileName()));
  }
  // A module built with a sanitizer needs hosts with its runtime first.
  const THostRuntime& Runtime = Asked.Runtime;
  if (!Runtime.Refusal.empty()) {
    aModule.FailListing(msLoadFailed, Runtime.Refusal);
    throw TModuleException(LoadFailure(aModule.FullFileName()));
  }
  std::unique_ptr<THostProcess> Host;
  FFresh = false;
  try {
    Host = HostListing(Asked);
  } catch (const std::exception& Error) {
    aModule.FailListing(msLoadFailed, Error.what());
    throw TModuleException(LoadFailure(aModule.FullFileName()));
  }
  AskAhead(*Host, Asked);
  std::string Payload;
  std::string Why;
  THostListing Listing;
  try {
    if (AwaitListing(*Host, Payload, Why))
      Listing = DecodeListing(Payload);
  } catch (const EHostProtocol& Error) {
    Why = Error.what();
  }
  if (!Why.empty()) {
    // A host that gave no answer is ended with what it started, and with
    // the listing asked of it ahead.
    LetGo(Host.get());
    Host.reset();
    aModule.FailListing(msLoadFailed, Why);
    throw TModuleException(LoadFailure(aModule.FullFileName()));
  }
  if (Listing.Listed)
    Host->Holding(Path, Listing.Identity);
  if (AwaitFinished(*Host))
    FHosts.push_back(std::move(Host));
  else
    LetGo(Host.get());
  if (!Listing.Listed) {
    aModule.FailListing(Listing.State, Listing.LoaderError);
    if (Listing.LoaderException)
      throw TModuleException(Listing.Error);
    throw Exception(Listing.Error);
  }
  std::vector<TUnitTestBase*> UnitTests;
  UnitTests.reserve(Listing.UnitTests.size());
  for (const THostListedUnitTest& Listed : Listing.UnitTests)
    UnitTests.push_back(new TListedUnitTest(&aModule, Listed.Name, Listed.Methods));
  aModule.AdoptListing(std::move(UnitTests), std::move(Listing.NameChanges));
  FListed[&aModule] = Listing.Identity;
  FRuntimes[&aModule] = Runtime;
}

std::unique_ptr<THostProcess> THostLister::HostListing(const TListing& aListing) {
  if (FAheadHost != nullptr && SameRequest(FAhead.Request, aListing.Request)) {
    const auto Found = std::find_if(FHosts.begin(), FHosts.end(),
                                    [&](const auto& aHost) { return aHost.get() == FAheadHost; });
    FAheadHost = nullptr;
    if (Found != FHosts.end()) {
      std::unique_ptr<THostProcess> Host = std::move(*Found);
      FHosts.erase(Found);
      return Host;
    }
  }
  DropAhead();
  std::unique_ptr<THostProcess> Host = HostFor(aListing.Path, aListing.Runtime);
  Host->SendList(aListing.Request);
  return Host;
}

void THostLister::AskAhead(THostProcess& aHost, const TListing& aListing) {
  if (FExpected.empty())
    return;
  const TListing& Next = FExpected.front();
  // A host loads a path once, a test program is never sent, and a module
  // goes only to a host of its runtime.
  if (Next.Path == aListing.Path || aHost.Holds(Next.Path) ||
      ModuleKindOf(Next.Path) == TModuleKind::TestProgram || !Next.Runtime.Refusal.empty() ||
      !aHost.Runs(Next.Runtime))
    return;
  THostListRequest Request = Next.Request;
  Request.Release = FExpected.size() > 1;
  try {
    aHost.SendList(Request);
  } catch (const std::exception&) {
    return; // the host is gone: its listing now tells so
  }
  FAhead = Next;
  FAheadHost = &aHost;
}

void THostLister::LetGo(const THostProcess* aHost) {
  if (FAheadHost == aHost)
    FAheadHost = nullptr;
}

void THostLister::DropAhead() {
  if (FAheadHost == nullptr)
    return;
  std::vector<std::unique_ptr<THostProcess>> Ending;
  for (auto& Host : FHosts)
    if (Host.get() == FAheadHost)
      Ending.push_back(std::move(Host));
  std::erase(FHosts, nullptr);
  FAheadHost = nullptr;
  EndWaitingHosts(Ending, EndGrace);
}

bool THostLister::AwaitListing(THostProcess& aHost, std::string& aPayload, std::string& aWhy) {
  const auto Deadline =
      TClock::now() + std::chrono::duration_cast<TClock::duration>(
                          std::chrono::duration<double>(FTimeLimit > 0 ? FTimeLimit : 1e9));
  // A host that listed before has said hello then.
  bool Hello = !FFresh;
  for (;;) {
    const bool Open = aHost.Receive();
    THostFrameView Frame{};
    while (aHost.Next(Frame)) {
      if (Frame.Kind == THostFrame::Listing) {
        aPayload.assign(Frame.Payload);
        return true;
      }
      Hello = Hello || Frame.Kind == THostFrame::Hello;
      if (Frame.Kind != THostFrame::Hello && Frame.Kind != THostFrame::Output)
        throw EHostProtocol("Garbled frame from the test process: no listing");
    }
    if (!Open) {
      aWhy = aHost.DeathText();
      if (aWhy.empty())
        aWhy = "The test process closed its channel";
      return false;
    }
    if (TClock::now() >= Deadline) {
      // A host that never said hello is not the module's fault.
      aWhy = Hello ? "Start-up or shut-down did not end within " + SecondsText(FTimeLimit) + " s"
                   : "Test process did not start within " + SecondsText(FTimeLimit) + " s";
      return false;
    }
    FWait(aHost.Descriptors(), MillisecondsLeft(Deadline));
  }
}

bool THostLister::AwaitFinished(THostProcess& aHost) {
  const auto Deadline = TClock::now() + std::chrono::seconds(2);
  try {
    for (;;) {
      const bool Open = aHost.Receive();
      THostFrameView Frame{};
      while (aHost.Next(Frame)) {
        // A host that has ended since is kept when it was asked a listing
        // ahead: its answer, or its death, is that listing's.
        if (Frame.Kind == THostFrame::Finished)
          return Open || FAheadHost == &aHost;
        if (Frame.Kind != THostFrame::Output)
          return false; // it retires
      }
      if (!Open || TClock::now() >= Deadline)
        return false;
      FWait(aHost.Descriptors(), MillisecondsLeft(Deadline));
    }
  } catch (const EHostProtocol&) {
    return false;
  }
}

void THostLister::Forget(const TModule& aModule) {
  FListed.erase(&aModule);
  FRuntimes.erase(&aModule);
  // The hosts that hold its file, or were asked ahead to load it, would
  // hand back its old code: they end.
  const std::string Path = aModule.LoadPath();
  if (FAheadHost != nullptr && FAhead.Path == Path)
    DropAhead();
  std::vector<std::unique_ptr<THostProcess>> Ending;
  for (auto& Host : FHosts)
    if (Host->Holds(Path)) {
      LetGo(Host.get());
      Ending.push_back(std::move(Host));
    }
  std::erase(FHosts, nullptr);
  EndWaitingHosts(Ending, EndGrace);
}

const TModuleFileIdentity* THostLister::Identity(const TModule& aModule) const {
  const auto Found = FListed.find(&aModule);
  return Found == FListed.end() ? nullptr : &Found->second;
}

THostRuntime THostLister::Runtime(const TModule& aModule) const {
  const auto Found = FRuntimes.find(&aModule);
  return Found == FRuntimes.end() ? HostRuntimeFor(aModule.LoadPath()) : Found->second;
}

std::unique_ptr<THostProcess> THostLister::TakeHost(const THostPlan& aPlan) {
  // A host asked for a listing answers that before any plan.
  DropAhead();
  // One that holds the plan's module first: it runs without loading.
  std::stable_partition(FHosts.begin(), FHosts.end(),
                        [&](const auto& aHost) { return !aHost->Holds(aPlan.ModulePath); });
  for (std::size_t I = FHosts.size(); I-- > 0;) {
    bool Alive = false;
    try {
      Alive = FHosts[I]->Receive();
    } catch (const EHostProtocol&) {
    }
    if (Alive && !FHosts[I]->Serve(aPlan))
      continue;
    std::unique_ptr<THostProcess> Host = std::move(FHosts[I]);
    FHosts.erase(FHosts.begin() + static_cast<std::ptrdiff_t>(I));
    if (Alive)
      return Host;
  }
  return nullptr;
}

void THostLister::GiveBack(std::unique_ptr<THostProcess> aHost) {
  if (aHost)
    FHosts.push_back(std::move(aHost));
}

} // namespace Kalvoro
