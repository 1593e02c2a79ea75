// One host per Windows session: a second start hands over to the running instance
// instead of starting a second core, tray icon and configuration writer.
#ifndef SHELL_SINGLE_INSTANCE_H_
#define SHELL_SINGLE_INSTANCE_H_

#include <windows.h>

#include <chrono>

#include "base/win_handles.h"

namespace duzavide {

// The registered message a second start posts to the running instance's main
// window: "show yourself", handled as the tray menu's "show" item.
UINT ShowInstanceMessage();

// Ownership of the session's instance mutex. Main thread.
class SingleInstance {
 public:
  // Creates or opens the mutex in the session's namespace. When it cannot be
  // created at all this process counts as the first, so a broken system never
  // keeps the application from starting.
  SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another process of this session holds the mutex. Held by this
  // process (released by the system when it ends) when true.
  bool is_first() const { return is_first_; }

 private:
  UniqueHandle mutex_;
  bool is_first_ = true;
};

// Asks the running instance to show its main window: waits up to `wait` for that
// window to exist (the instance may still be starting), lets it take the
// foreground and posts ShowInstanceMessage. False when no window appeared in time.
bool ShowRunningInstance(std::chrono::milliseconds wait);

}  // namespace duzavide

#endif  // SHELL_SINGLE_INSTANCE_H_
