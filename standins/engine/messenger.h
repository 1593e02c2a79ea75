// The stand-in engine's messenger object behind FlutterDesktopMessengerRef.
//
// Reference counted: the engine holds one reference for its life and callers may
// hold more (AddRef/Release from any thread). The lock is a re-entrant critical
// section guarding `available` and `engine`; the engine clears both under the lock
// when it ends, so a holder of the lock that sees `available` may use `engine`.
#ifndef STANDINS_ENGINE_MESSENGER_H_
#define STANDINS_ENGINE_MESSENGER_H_

#include <windows.h>

#include <atomic>

namespace duzavide::standin {
class Engine;
}  // namespace duzavide::standin

struct FlutterDesktopMessenger {
  explicit FlutterDesktopMessenger(duzavide::standin::Engine* owner);
  ~FlutterDesktopMessenger();

  FlutterDesktopMessenger(const FlutterDesktopMessenger&) = delete;
  FlutterDesktopMessenger& operator=(const FlutterDesktopMessenger&) = delete;

  void AddRef() { references.fetch_add(1); }
  // Deletes the object when the last reference goes.
  void Release();

  // Marks the engine as gone; later responses are dropped.
  void Detach();

  CRITICAL_SECTION lock;
  std::atomic<long> references{1};
  bool available = true;                        // guarded by lock
  duzavide::standin::Engine* engine = nullptr;  // guarded by lock
};

#endif  // STANDINS_ENGINE_MESSENGER_H_
