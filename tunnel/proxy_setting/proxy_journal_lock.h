// ProxyJournalLock: the one lock that the host and the restore program share
// around every read and write of the proxy journal (proxy_journal.h), so that a
// restore program started at sign-in cannot delete the journal of a host that
// has just switched the setting (or the other way round).
//
// It is a named mutex in the session's own namespace: the elevated host and the
// unelevated restore program of one sign-in run in the same session and both
// open it (its security lets any signed-in user wait on it and release it). Any
// program of the session could take the name first or hold it, so every wait is
// bounded; the caller decides what to do without it. An owner that died leaves
// it free (the journal is one registry value, whole or absent).
//
// Held by the thread that constructed it, released by its destructor on that
// thread. Not copyable.
#ifndef TUNNEL_PROXY_SETTING_PROXY_JOURNAL_LOCK_H_
#define TUNNEL_PROXY_SETTING_PROXY_JOURNAL_LOCK_H_

#include <string>

#include "base/win_handles.h"

namespace duzavide {

class ProxyJournalLock {
 public:
  // Waits at most `timeout_ms` for the lock.
  explicit ProxyJournalLock(unsigned long timeout_ms);
  ~ProxyJournalLock();
  ProxyJournalLock(const ProxyJournalLock&) = delete;
  ProxyJournalLock& operator=(const ProxyJournalLock&) = delete;

  bool held() const { return held_; }
  // Why it is not held: the system's text, or that the wait timed out.
  const std::string& failure() const { return failure_; }

 private:
  UniqueHandle mutex_;
  bool held_ = false;
  std::string failure_;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_JOURNAL_LOCK_H_
