#include "ThreadMessages.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace Kalvoro::ThreadMessages {

namespace {

// What a thread that runs methods shows the others. Windows are numbered per
// thread, odd while open; a message carries the number of its window.
struct TThreadRecord {
  std::atomic<const TUnitTestBase*> UnitTest{nullptr};
  std::atomic<unsigned long long> Window{0};
  // The window whose messages TakeNext delivers (open or just closed).
  unsigned long long Delivering = 0;
  std::mutex Mutex;
  std::deque<std::pair<unsigned long long, TQueued>> Queue;
  std::atomic<bool> Pending{false};
};

std::mutex RegistryMutex;
std::vector<TThreadRecord*> Records;
std::atomic<unsigned> DroppedCount{0};
std::atomic<int> Runs{0};

[[gnu::tls_model("initial-exec")]] thread_local TThreadRecord* Own = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local const TUnitTestBase* RunningHere = nullptr;

// Registers the thread's record when it first runs a method and removes it
// when the thread ends.
struct TRecordOwner {
  std::unique_ptr<TThreadRecord> Record;
  ~TRecordOwner() {
    if (!Record)
      return;
    std::lock_guard<std::mutex> Lock(RegistryMutex);
    std::erase(Records, Record.get());
    Own = nullptr;
  }
};
thread_local TRecordOwner RecordOwner;

TThreadRecord& OwnRecord() {
  if (Own == nullptr) {
    RecordOwner.Record = std::make_unique<TThreadRecord>();
    std::lock_guard<std::mutex> Lock(RegistryMutex);
    Records.push_back(RecordOwner.Record.get());
    Own = RecordOwner.Record.get();
  }
  return *Own;
}

// Drops the messages of windows other than the one being delivered (the
// caller holds the record's mutex).
void DropStale(TThreadRecord& aRecord) {
  while (!aRecord.Queue.empty() && aRecord.Queue.front().first != aRecord.Delivering) {
    aRecord.Queue.pop_front();
    Drop();
  }
  aRecord.Pending.store(!aRecord.Queue.empty(), std::memory_order_release);
}

} // namespace

TWindow::TWindow(const TUnitTestBase* aUnitTest) {
  TThreadRecord& Record = OwnRecord();
  FOuterUnitTest = RunningHere;
  FOuterWindow = Record.Delivering;
  // A run nested in a method closes the outer method's window.
  if (Record.Window.load(std::memory_order_relaxed) % 2 == 1)
    Record.Window.store(Record.Window.load(std::memory_order_relaxed) + 1,
                        std::memory_order_release);
  RunningHere = aUnitTest;
  const unsigned long long Window = Record.Window.load(std::memory_order_relaxed) + 1;
  Record.Delivering = Window;
  Record.Window.store(Window, std::memory_order_release);
  Record.UnitTest.store(aUnitTest, std::memory_order_release);
}

void TWindow::Close() noexcept {
  if (!FOpen)
    return;
  FOpen = false;
  TThreadRecord& Record = *Own;
  Record.UnitTest.store(nullptr, std::memory_order_release);
  Record.Window.store(Record.Delivering + 1, std::memory_order_release);
}

TWindow::~TWindow() {
  Close();
  TThreadRecord& Record = *Own;
  RunningHere = FOuterUnitTest;
  Record.Delivering = FOuterWindow;
  if (Record.Pending.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> Lock(Record.Mutex);
    DropStale(Record);
  }
}

TRunScope::TRunScope() : FDroppedBefore(ThreadMessages::Dropped()) {
  Runs.fetch_add(1, std::memory_order_relaxed);
}

TRunScope::~TRunScope() {
  Runs.fetch_sub(1, std::memory_order_relaxed);
}

int TRunScope::Dropped() const noexcept {
  return static_cast<int>(ThreadMessages::Dropped() - FDroppedBefore);
}

bool RunInProgress() noexcept {
  return Runs.load(std::memory_order_relaxed) > 0;
}

bool RunsOnThisThread(const TUnitTestBase* aUnitTest) noexcept {
  return RunningHere == aUnitTest;
}

bool RunsMethods() noexcept {
  return Own != nullptr;
}

bool Queue(const TUnitTestBase* aUnitTest, TQueued&& aMessage) {
  std::lock_guard<std::mutex> Lock(RegistryMutex);
  for (TThreadRecord* Record : Records) {
    const unsigned long long Window = Record->Window.load(std::memory_order_acquire);
    if (Window % 2 == 0 || Record->UnitTest.load(std::memory_order_acquire) != aUnitTest ||
        Record->Window.load(std::memory_order_acquire) != Window)
      continue;
    std::lock_guard<std::mutex> QueueLock(Record->Mutex);
    Record->Queue.emplace_back(Window, std::move(aMessage));
    Record->Pending.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

bool TakeNext(TQueued& aMessage) {
  TThreadRecord* Record = Own;
  if (Record == nullptr || !Record->Pending.load(std::memory_order_acquire))
    return false;
  std::lock_guard<std::mutex> Lock(Record->Mutex);
  DropStale(*Record);
  if (Record->Queue.empty())
    return false;
  aMessage = std::move(Record->Queue.front().second);
  Record->Queue.pop_front();
  Record->Pending.store(!Record->Queue.empty(), std::memory_order_release);
  return true;
}

void Drop() noexcept {
  DroppedCount.fetch_add(1, std::memory_order_relaxed);
}

unsigned Dropped() noexcept {
  return DroppedCount.load(std::memory_order_relaxed);
}

} // namespace Kalvoro::ThreadMessages
