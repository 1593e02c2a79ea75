// The stand-in engine's messenger object behind FlutterDesktopMessengerRef.
//
// Reference counted: the engine holds one reference for its life and callers may
// hold more (AddRef/Release from any thread). The lock is a re-entrant critical
// section guarding `available` and `engine`; the engine clears both under the lock
// when it ends, so a holder of the lock that sees `available` may use `engine`.
//
// The exported Lock/Unlock/IsAvailable calls also note who holds the lock and
// whether that holder has checked availability: only such a caller may use the
// messenger from a thread other than the platform thread.
#ifndef STANDINS_ENGINE_MESSENGER_H_
#define STANDINS_ENGINE_MESSENGER_H_

#include <windows.h>

#include <atomic>

namespace duzavide::standin {
class Engine;
}  // namespace duzavide::standin

struct FlutterDesktopMessenger {
  FlutterDesktopMessenger(duzavide::standin::Engine* owner, DWORD platform_thread);
  ~FlutterDesktopMessenger();

  FlutterDesktopMessenger(const FlutterDesktopMessenger&) = delete;
  FlutterDesktopMessenger& operator=(const FlutterDesktopMessenger&) = delete;

  void AddRef() { references.fetch_add(1); }
  // Deletes the object when the last reference goes.
  void Release();

  // Marks the engine as gone; later responses are dropped.
  void Detach();

  // Lock bookkeeping of the exported calls; `depth` and `availability_checked`
  // change only while the lock is held.
  void NoteLocked();
  // False when the calling thread does not hold the lock.
  bool NoteUnlocking();
  void NoteAvailabilityChecked();
  // Whether the calling thread holds the lock and has checked availability.
  bool HeldAndCheckedByCaller() const;

  const DWORD platform_thread;
  CRITICAL_SECTION lock;
  std::atomic<long> references{1};
  bool available = true;                        // guarded by lock
  duzavide::standin::Engine* engine = nullptr;  // guarded by lock
  std::atomic<DWORD> holder{0};
  int depth = 0;
  bool availability_checked = false;
};

#endif  // STANDINS_ENGINE_MESSENGER_H_
