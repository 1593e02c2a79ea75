#include "standins/engine/messenger.h"

FlutterDesktopMessenger::FlutterDesktopMessenger(duzavide::standin::Engine* owner) : engine(owner) {
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
