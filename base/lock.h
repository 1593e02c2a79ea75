// Lock: the one lock type of the host's own code, a slim reader/writer lock
// taken exclusively, and AutoLock, which holds it for a scope.
//
// Not recursive: a thread that holds the lock must not take it again. Never held
// while calling out to code that may block or take another lock of unknown order
// (observers, the host log, the system's waits). Portable: the Windows build uses
// the system's slim reader/writer lock, the host build a standard mutex.
#ifndef BASE_LOCK_H_
#define BASE_LOCK_H_

namespace duzavide {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire();
  void Release();

 private:
  // An SRWLOCK on Windows (one pointer, zero when free); elsewhere the address of
  // a mutex allocated by the constructor.
  void* state_ = nullptr;
};

class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  Lock& lock_;
};

}  // namespace duzavide

#endif  // BASE_LOCK_H_
