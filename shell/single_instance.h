// One host per Windows session: a second start hands over to the running instance
// instead of starting a second core, tray icon and configuration writer.
#ifndef SHELL_SINGLE_INSTANCE_H_
#define SHELL_SINGLE_INSTANCE_H_

#include <windows.h>

#include <chrono>

#include "base/win_handles.h"

namespace duzavide {

// The registered message a second start posts to the running instance's main
// window: "show yourself".
UINT ShowInstanceMessage();

// The session's instance lock: a mutex in the session's namespace, owned by the
// instance that runs. Main thread (a mutex belongs to the thread that took it).
class SingleInstance {
 public:
  // How a start that is not the first ended its wait.
  enum class HandOver {
    kShown,        // the running instance was asked to show its window
    kBecameFirst,  // the instance that held the lock has ended; this one runs
    kTimedOut,     // the holder showed no window and did not end in time
  };

  // Creates the mutex, owned by this process when it is the first. When it cannot
  // be created at all this process counts as the first, so a broken system never
  // keeps the application from starting.
  SingleInstance();
  // Lets go of the lock, so the next start takes over at once.
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another process of this session held the lock at construction.
  bool is_first() const { return is_first_; }

  // For a start that is not the first: within `bound`, asks the running instance
  // to show its window as soon as that window exists (it may still be starting),
  // or takes the lock when its holder ends (an instance that was ending: its
  // window already gone), whichever comes first. Anything else holding the lock
  // (a hung instance, another program using the name) delays the start by
  // `bound` only.
  HandOver WaitForRunningInstance(std::chrono::milliseconds bound);

 private:
  UniqueHandle mutex_;
  bool is_first_ = true;
  bool owned_ = false;
};

}  // namespace duzavide

#endif  // SHELL_SINGLE_INSTANCE_H_
