#include "standins/engine/messenger.h"

FlutterDesktopMessenger::FlutterDesktopMessenger(duzavide::standin::Engine* owner,
                                                 DWORD platform_thread_id)
    : platform_thread(platform_thread_id), engine(owner) {
  InitializeCriticalSection(&lock);
}

FlutterDesktopMessenger::~FlutterDesktopMessenger() { DeleteCriticalSection(&lock); }

void FlutterDesktopMessenger::Release() {
  if (references.fetch_sub(1) == 1) delete this;
}

void FlutterDesktopMessenger::Detach() {
  EnterCriticalSection(&lock);
  available = false;
  engine = nullptr;
  LeaveCriticalSection(&lock);
}

void FlutterDesktopMessenger::NoteLocked() {
  if (depth++ == 0) {
    holder = GetCurrentThreadId();
    availability_checked = false;
  }
}

bool FlutterDesktopMessenger::NoteUnlocking() {
  if (holder != GetCurrentThreadId()) return false;
  if (--depth == 0) {
    holder = 0;
    availability_checked = false;
  }
  return true;
}

void FlutterDesktopMessenger::NoteAvailabilityChecked() {
  if (holder == GetCurrentThreadId()) availability_checked = true;
}

bool FlutterDesktopMessenger::HeldAndCheckedByCaller() const {
  return holder == GetCurrentThreadId() && availability_checked;
}
