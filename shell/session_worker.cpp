#include "shell/session_worker.h"

#include <utility>

namespace duzavide {
namespace {

// Holds an SRW lock exclusively for its scope.
class ScopedLock {
 public:
  explicit ScopedLock(SRWLOCK* lock) : lock_(lock) { ::AcquireSRWLockExclusive(lock_); }
  ~ScopedLock() { ::ReleaseSRWLockExclusive(lock_); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  SRWLOCK* lock_;
};

}  // namespace

SessionWorker::SessionWorker() {
  // The reader thread finds the core's end without any task running.
  session_.SetStoppedObserver([this] {
    ScopedLock lock(&mutex_);
    connected_.store(false);
  });
}

SessionWorker::~SessionWorker() { ShutdownAndWait(); }

void SessionWorker::SetLineObserver(TunnelSession::LineObserver observer) {
  session_.SetLineObserver(std::move(observer));
}

void SessionWorker::SetNotifier(Notifier notifier) {
  ScopedLock lock(&mutex_);
  notifier_ = std::move(notifier);
}

bool SessionWorker::Post(Task task) {
  ScopedLock lock(&mutex_);
  if (stopping_) return false;
  tasks_.push_back(std::move(task));
  StartThreadLocked();
  ::WakeConditionVariable(&wake_);
  return true;
}

void SessionWorker::Start() {
  ScopedLock lock(&mutex_);
  if (!stopping_) StartThreadLocked();
}

void SessionWorker::StartThreadLocked() {
  if (thread_started_) return;
  thread_.Reset(::CreateThread(nullptr, 0, &SessionWorker::ThreadMain, this, 0, nullptr));
  // Without a thread the next Post tries again, and ShutdownAndWait disconnects
  // on its own.
  thread_started_ = static_cast<bool>(thread_);
}

void SessionWorker::RunCompletions() {
  std::deque<Completion> ready;
  {
    ScopedLock lock(&mutex_);
    ready.swap(done_);
  }
  for (Completion& completion : ready) completion();
}

void SessionWorker::Shutdown() {
  ScopedLock lock(&mutex_);
  if (stopping_) return;
  stopping_ = true;
  tasks_.clear();
  ::WakeConditionVariable(&wake_);
}

void SessionWorker::ShutdownAndWait() {
  Shutdown();
  bool disconnect_here = false;
  {
    ScopedLock lock(&mutex_);
    disconnect_here = !thread_started_;
    thread_started_ = true;
  }
  if (thread_) {
    ::WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
  }
  // No thread ever ran and none can start now: this thread is the session's only
  // caller.
  if (disconnect_here) {
    session_.Disconnect();
    PublishState();
  }
}

// static
DWORD WINAPI SessionWorker::ThreadMain(void* worker) {
  static_cast<SessionWorker*>(worker)->Run();
  return 0;
}

void SessionWorker::Run() {
  for (;;) {
    Task task;
    {
      ScopedLock lock(&mutex_);
      while (!stopping_ && tasks_.empty()) {
        ::SleepConditionVariableSRW(&wake_, &mutex_, INFINITE, 0);
      }
      if (tasks_.empty()) break;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    Completion completion = task(session_);
    PublishState();
    if (!completion) continue;
    Notifier notifier;
    {
      ScopedLock lock(&mutex_);
      done_.push_back(std::move(completion));
      notifier = notifier_;
    }
    if (notifier) notifier();
  }
  session_.Disconnect();
  PublishState();
}

void SessionWorker::PublishState() {
  ScopedLock lock(&mutex_);
  connected_.store(session_.core_running());
}

}  // namespace duzavide
