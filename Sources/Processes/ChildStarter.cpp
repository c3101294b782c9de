// The starter thread (see ChildStarter.h): a queue of calls, each run in
// turn while its caller waits for it.
#include "ChildStarter.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace Kalvoro {

namespace {

struct TRequest {
  const std::function<void()>* Call;
  std::exception_ptr Error;
  bool Done = false;
};

class TStarter {
public:
  TStarter() {
    // The thread takes no signal: an interruption or a child's end is the
    // business of the threads that run.
    sigset_t All;
    sigset_t Before;
    sigfillset(&All);
    pthread_sigmask(SIG_SETMASK, &All, &Before);
    std::thread Thread([this] { Serve(); });
    FThread = Thread.get_id();
    pthread_sigmask(SIG_SETMASK, &Before, nullptr);
    // It lives as long as the program: nothing joins it.
    Thread.detach();
  }

  void Run(const std::function<void()>& aCall) {
    if (std::this_thread::get_id() == FThread) {
      aCall();
      return;
    }
    TRequest Request{&aCall, nullptr};
    std::unique_lock Lock(FMutex);
    FQueue.push_back(&Request);
    FWork.notify_one();
    FDone.wait(Lock, [&] { return Request.Done; });
    if (Request.Error)
      std::rethrow_exception(Request.Error);
  }

private:
  void Serve() {
    std::unique_lock Lock(FMutex);
    for (;;) {
      FWork.wait(Lock, [this] { return !FQueue.empty(); });
      TRequest* Request = FQueue.front();
      FQueue.pop_front();
      Lock.unlock();
      try {
        (*Request->Call)();
      } catch (...) {
        Request->Error = std::current_exception();
      }
      Lock.lock();
      Request->Done = true;
      FDone.notify_all();
    }
  }

  std::mutex FMutex;
  std::condition_variable FWork;
  std::condition_variable FDone;
  std::deque<TRequest*> FQueue;
  std::thread::id FThread;
};

// Never destroyed: the thread may still wait on it while the program's
// statics end. A forked child has no starter thread, so it makes its own.
TStarter* Starter = nullptr;
std::mutex StarterMutex;

void ForgetInChild() {
  Starter = nullptr;
  new (&StarterMutex) std::mutex;
}

} // namespace

void OnStarterThread(const std::function<void()>& aCall) {
  TStarter* Current;
  {
    const std::lock_guard Lock(StarterMutex);
    if (Starter == nullptr) {
      static const bool Registered = [] {
        pthread_atfork(nullptr, nullptr, &ForgetInChild);
        return true;
      }();
      (void)Registered;
      Starter = new TStarter;
    }
    Current = Starter;
  }
  Current->Run(aCall);
}

} // namespace Kalvoro
