// The exported engine calls: the engine's contract is checked here (a broken one
// ends the process, see contract.h), then the call goes to the engine, messenger
// or view controller object.
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "channel/engine_api/flutter_windows.h"
#include "standins/engine/com_apartment.h"
#include "standins/engine/contract.h"
#include "standins/engine/engine.h"
#include "standins/engine/environment.h"
#include "standins/engine/messenger.h"
#include "standins/engine/standin_hooks.h"
#include "standins/engine/view_controller.h"

using duzavide::standin::Engine;

namespace {

std::mutex& CountsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, int>& Counts() {
  static std::map<std::string, int> counts;
  return counts;
}

void CountCall(const char* name) {
  std::lock_guard<std::mutex> guard(CountsMutex());
  ++Counts()[name];
}

std::string& LastEngineArguments() {
  static std::string text = "argc=0 argv=null";
  return text;
}

FlutterDesktopMessengerRef& LastMessenger() {
  static FlutterDesktopMessengerRef messenger = nullptr;
  return messenger;
}

[[noreturn]] void Refuse(const char* call, const std::string& what) {
  duzavide::standin::ContractViolation(std::string(call) + " " + what);
}

void RequirePlatformThread(DWORD platform_thread, const char* call) {
  if (GetCurrentThreadId() != platform_thread) {
    Refuse(call, "called from a thread other than the engine's platform thread");
  }
}

// The engine keeps COM objects on its platform thread, so that thread must stay
// in its COM apartment for as long as the engine and its view controller are
// called (see com_apartment.h).
void RequireComApartment(const char* call) {
  if (duzavide::standin::ThreadLacksApartment()) {
    Refuse(call, "called on a thread without a COM apartment");
  }
}

// The engine behind a handle that may still be used: not null, not ended or
// ending, and called on its platform thread inside a COM apartment.
Engine* LiveEngine(FlutterDesktopEngineRef engine, const char* call) {
  if (engine == nullptr) Refuse(call, "called with a null engine");
  if (engine->state == FlutterDesktopEngine::State::kEnding) {
    Refuse(call, "called on an engine whose destruction has begun");
  }
  if (engine->state == FlutterDesktopEngine::State::kEnded) {
    Refuse(call, "called on an engine that has ended");
  }
  RequirePlatformThread(engine->engine->platform_thread(), call);
  RequireComApartment(call);
  return engine->engine.get();
}

// An engine that no view controller has taken over.
Engine* CallersEngine(FlutterDesktopEngineRef engine, const char* call) {
  Engine* live = LiveEngine(engine, call);
  if (engine->state == FlutterDesktopEngine::State::kTakenOver) {
    Refuse(call, "called on an engine that a view controller has taken over");
  }
  return live;
}

FlutterDesktopViewControllerRef LiveController(FlutterDesktopViewControllerRef controller,
                                               const char* call) {
  if (controller == nullptr) Refuse(call, "called with a null view controller");
  if (controller->destroy_begun) {
    Refuse(call, "called on a view controller whose destruction has begun");
  }
  RequirePlatformThread(controller->engine->platform_thread(), call);
  RequireComApartment(call);
  return controller;
}

FlutterDesktopMessengerRef NonNullMessenger(FlutterDesktopMessengerRef messenger,
                                            const char* call) {
  if (messenger == nullptr) Refuse(call, "called with a null messenger");
  return messenger;
}

// The engine behind a messenger, for the calls that reach it. Off the platform
// thread the caller must hold the messenger's lock and have checked availability
// under it, so the engine cannot end during the call.
Engine* MessengerEngine(FlutterDesktopMessengerRef messenger, const char* call) {
  NonNullMessenger(messenger, call);
  if (GetCurrentThreadId() != messenger->platform_thread && !messenger->HeldAndCheckedByCaller()) {
    Refuse(call,
           "called from a thread other than the engine's platform thread without holding the "
           "messenger's lock and checking its availability");
  }
  EnterCriticalSection(&messenger->lock);
  Engine* engine = messenger->available ? messenger->engine : nullptr;
  LeaveCriticalSection(&messenger->lock);
  if (engine == nullptr) Refuse(call, "called after the messenger's engine ended");
  return engine;
}

const char* NonNullChannel(const char* channel, const char* call) {
  if (channel == nullptr) Refuse(call, "called with a null channel name");
  return channel;
}

// The engine behind a messenger while it is available; null once it has ended.
// For the test hooks, which are not part of the contract.
Engine* EngineOf(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return nullptr;
  EnterCriticalSection(&messenger->lock);
  Engine* engine = messenger->available ? messenger->engine : nullptr;
  LeaveCriticalSection(&messenger->lock);
  return engine;
}

}  // namespace

#define COUNT_CALL() CountCall(__func__)

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* engine_properties) {
  COUNT_CALL();
  if (engine_properties == nullptr) Refuse(__func__, "called with null properties");
  RequireComApartment(__func__);
  duzavide::standin::WatchHostApartment();
  if (duzavide::standin::EnvironmentValue(L"DUZAVIDE_ENGINE_FAIL_CREATE") == L"engine") {
    return nullptr;
  }
  std::string& arguments = LastEngineArguments();
  arguments = "argc=" + std::to_string(engine_properties->dart_entrypoint_argc) + " argv=";
  if (engine_properties->dart_entrypoint_argv == nullptr) {
    arguments += "null";
  } else {
    for (int i = 0; i < engine_properties->dart_entrypoint_argc; ++i) {
      arguments += "[" + std::string(engine_properties->dart_entrypoint_argv[i]) + "]";
    }
  }
  auto* record = new FlutterDesktopEngine();
  record->engine = std::make_unique<Engine>(*engine_properties);
  LastMessenger() = record->engine->messenger();
  return record;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  CallersEngine(engine, __func__);
  engine->state = FlutterDesktopEngine::State::kEnding;
  engine->engine->BeginEnding();
  duzavide::standin::EndEngine(*engine);
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  return LiveEngine(engine, __func__)->messenger();
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  LiveEngine(engine, __func__)->ReloadSystemFonts();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  COUNT_CALL();
  LiveEngine(engine, __func__)->SetNextFrameCallback(callback, user_data);
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  COUNT_CALL();
  Engine* live = LiveEngine(engine, __func__);
  if (plugin_name == nullptr) Refuse(__func__, "called with a null plugin name");
  return live->GetPluginRegistrar(plugin_name);
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  CallersEngine(engine, __func__);
  return duzavide::standin::CreateViewController(width, height, engine);
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  COUNT_CALL();
  return &LiveController(controller, __func__)->view;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  COUNT_CALL();
  duzavide::standin::DestroyViewController(LiveController(controller, __func__));
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  COUNT_CALL();
  LiveController(controller, __func__);
  if (controller->view.hwnd != nullptr) InvalidateRect(controller->view.hwnd, nullptr, FALSE);
  controller->engine->RequestFrame();
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  COUNT_CALL();
  LiveController(controller, __func__);
  (void)hwnd;
  (void)wparam;
  (void)lparam;
  // An engine may act on any top-level message and consume it. The stand-in
  // consumes the end of the Windows session and the power notifications,
  // answering as the default handling would, so a host that offers them to the
  // engine before acting on them never sees them.
  switch (message) {
    case WM_QUERYENDSESSION:
    case WM_POWERBROADCAST:
      if (result != nullptr) *result = TRUE;
      return true;
    case WM_ENDSESSION:
      if (result != nullptr) *result = 0;
      return true;
    default:
      return false;
  }
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  COUNT_CALL();
  if (view == nullptr) Refuse(__func__, "called with a null view");
  if (view->controller->destroy_begun) {
    Refuse(__func__, "called on a view whose view controller's destruction has begun");
  }
  RequireComApartment(__func__);
  return view->hwnd;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  COUNT_CALL();
  return duzavide::standin::MonitorDpi(monitor);
}

void FlutterDesktopResyncOutputStreams(void) {
  COUNT_CALL();
  // The library shares the runtime's standard streams with the host; it only has to
  // drop what it buffered before they were redirected.
  std::fflush(stdout);
  std::fflush(stderr);
  std::ios::sync_with_stdio(true);
  std::cout.clear();
  std::cerr.clear();
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  COUNT_CALL();
  Engine* engine = MessengerEngine(messenger, __func__);
  engine->SetHostCallback(NonNullChannel(channel, __func__), callback, user_data);
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  COUNT_CALL();
  Engine* engine = MessengerEngine(messenger, __func__);
  return engine->DeliverToApp(NonNullChannel(channel, __func__), message, message_size, nullptr,
                              nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  COUNT_CALL();
  Engine* engine = MessengerEngine(messenger, __func__);
  return engine->DeliverToApp(NonNullChannel(channel, __func__), message, message_size, reply,
                              user_data);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  COUNT_CALL();
  using duzavide::standin::ResponseOutcome;
  Engine* engine = MessengerEngine(messenger, __func__);
  if (handle == nullptr) Refuse(__func__, "called with a null response handle");
  switch (engine->SendResponse(handle, data, data_length)) {
    case ResponseOutcome::kDelivered:
      return;
    case ResponseOutcome::kAlreadyAnswered:
      Refuse(__func__, "called with a response handle that was already answered");
    case ResponseOutcome::kOtherEngine:
      Refuse(__func__, "called with a response handle of another engine");
    case ResponseOutcome::kUnknown:
      Refuse(__func__, "called with a response handle no engine issued");
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  NonNullMessenger(messenger, __func__)->AddRef();
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  NonNullMessenger(messenger, __func__)->Release();
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  EnterCriticalSection(&NonNullMessenger(messenger, __func__)->lock);
  messenger->NoteLocked();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  if (!NonNullMessenger(messenger, __func__)->NoteUnlocking()) {
    Refuse(__func__, "called by a thread that does not hold the messenger's lock");
  }
  LeaveCriticalSection(&messenger->lock);
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  EnterCriticalSection(&NonNullMessenger(messenger, __func__)->lock);
  bool available = messenger->available;
  messenger->NoteAvailabilityChecked();
  LeaveCriticalSection(&messenger->lock);
  return available;
}

// Test hooks.

int DuzavideStandinCallCount(const char* call_name) {
  std::lock_guard<std::mutex> guard(CountsMutex());
  auto found = Counts().find(call_name != nullptr ? call_name : "");
  return found != Counts().end() ? found->second : 0;
}

void DuzavideStandinResetCallCounts(void) {
  std::lock_guard<std::mutex> guard(CountsMutex());
  Counts().clear();
}

const char* DuzavideStandinLastEngineArguments(void) { return LastEngineArguments().c_str(); }

FlutterDesktopMessengerRef DuzavideStandinLastMessenger(void) { return LastMessenger(); }

bool DuzavideStandinDeliverMessage(FlutterDesktopMessengerRef messenger, const char* channel,
                                   const uint8_t* message, size_t message_size,
                                   FlutterDesktopBinaryReply on_response, void* user_data) {
  Engine* engine = EngineOf(messenger);
  if (engine == nullptr || channel == nullptr) return false;
  return engine->DeliverToHost(channel, message, message_size,
                               [on_response, user_data](const uint8_t* data, size_t size) {
                                 if (on_response != nullptr) on_response(data, size, user_data);
                               });
}

void DuzavideStandinSetEchoListener(FlutterDesktopMessengerRef messenger, const char* channel,
                                    bool listen) {
  Engine* engine = EngineOf(messenger);
  if (engine == nullptr || channel == nullptr) return;
  duzavide::standin::AppListener echo;
  if (listen) {
    echo = [](const uint8_t* data, size_t size) {
      return std::vector<uint8_t>(data, data + (data != nullptr ? size : 0));
    };
  }
  engine->SetAppListener(channel, std::move(echo));
}

}  // extern "C"
