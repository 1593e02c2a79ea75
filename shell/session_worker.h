// SessionWorker runs the process's TunnelSession on a thread of its own, so that
// the window's thread never waits for tunnel work (a connect takes at least 1.3 s,
// a disconnect up to 12 s).
//
// Threads:
// - The platform thread (the one that created the worker) calls every public
//   operation. It posts tasks; each task runs later on the session thread, one at
//   a time, in the order posted. Only tasks call into the TunnelSession (its own
//   reader and relay threads aside). A task returns a completion, which the worker
//   queues and announces through the notifier; the platform thread then runs the
//   completions, in task order, with RunCompletions.
// - A task runs on the session thread and may capture only values and objects that
//   outlive the worker; it must not touch windows or the engine. A completion runs
//   on the platform thread and may use the window and the engine, but it is also
//   destroyed unrun (on either thread) when the platform thread never collects it,
//   so it must not own anything whose destruction touches the engine.
// - The notifier is called on the session thread; it must be thread-safe (a
//   PostMessageW to the window, for example) and must not block.
//
// Connection state: connected() is whether the session's core was running after
// the last task; it is cleared at once when the core is found to have ended. Any
// thread, never waits (a connect in flight shows as not connected).
//
// Shutdown: Shutdown() drops the tasks not yet started, lets the one in hand
// finish, then disconnects the session; it returns at once, and nothing posted
// later runs. The destructor (or ShutdownAndWait) waits for that final disconnect
// (the session bounds its waits), so the core is gone before the worker is; when
// no session thread ever ran, it disconnects on the calling thread instead. The
// session itself is destroyed with the worker, after the thread has ended.
#ifndef SHELL_SESSION_WORKER_H_
#define SHELL_SESSION_WORKER_H_

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>

#include "base/win_handles.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {

class SessionWorker {
 public:
  using Completion = std::function<void()>;
  // Runs on the session thread; returns what to run on the platform thread
  // afterwards (may be empty).
  using Task = std::function<Completion(TunnelSession& session)>;
  using Notifier = std::function<void()>;

  SessionWorker();
  ~SessionWorker();
  SessionWorker(const SessionWorker&) = delete;
  SessionWorker& operator=(const SessionWorker&) = delete;

  // Receives the session's status lines and the core's output (on the session,
  // reader and relay threads). Call before the first task is posted.
  void SetLineObserver(TunnelSession::LineObserver observer);

  // Called after each completion is queued; empty stops the announcements (the
  // completions stay queued). Platform thread.
  void SetNotifier(Notifier notifier);

  // Starts the session thread ahead of the first task, so that the first call
  // does not pay for it. Optional; observers may still be set until a task is
  // posted.
  void Start();

  // Queues `task`; starts the session thread if need be. False (the task is
  // dropped) after Shutdown.
  bool Post(Task task);

  // Runs the queued completions in order. Platform thread.
  void RunCompletions();

  bool connected() const { return connected_.load(); }

  // See the header comment. Safe to repeat.
  void Shutdown();
  // Shutdown, then waits until the session thread has disconnected and ended.
  void ShutdownAndWait();

 private:
  static DWORD WINAPI ThreadMain(void* worker);
  void Run();
  // Under mutex_.
  void StartThreadLocked();
  // After each task: what the session's flag says. Under mutex_, as is the
  // stopped observer's clearing, so a core that ends meanwhile is never published
  // as running.
  void PublishState();

  TunnelSession session_;
  std::atomic<bool> connected_{false};

  SRWLOCK mutex_ = SRWLOCK_INIT;
  CONDITION_VARIABLE wake_ = CONDITION_VARIABLE_INIT;
  std::deque<Task> tasks_;       // guarded by mutex_
  std::deque<Completion> done_;  // guarded by mutex_
  Notifier notifier_;            // guarded by mutex_
  bool stopping_ = false;        // guarded by mutex_

  UniqueHandle thread_;  // started by Start or the first Post
  // Set when the thread starts, or when ShutdownAndWait disconnects without one.
  bool thread_started_ = false;  // guarded by mutex_ while the thread may start
};

}  // namespace duzavide

#endif  // SHELL_SESSION_WORKER_H_
