// The exported engine calls: thin checks around the engine, messenger and view
// controller objects.
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "shell/engine_api/flutter_windows.h"
#include "standins/engine/engine.h"
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

Engine* ToEngine(FlutterDesktopEngineRef engine) { return reinterpret_cast<Engine*>(engine); }

// The engine behind a messenger while it is available; null once it has ended.
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
  if (engine_properties == nullptr) return nullptr;
  std::string& arguments = LastEngineArguments();
  arguments = "argc=" + std::to_string(engine_properties->dart_entrypoint_argc) + " argv=";
  if (engine_properties->dart_entrypoint_argv == nullptr) {
    arguments += "null";
  } else {
    for (int i = 0; i < engine_properties->dart_entrypoint_argc; ++i) {
      arguments += "[" + std::string(engine_properties->dart_entrypoint_argv[i]) + "]";
    }
  }
  auto* created = new Engine(*engine_properties);
  LastMessenger() = created->messenger();
  return reinterpret_cast<FlutterDesktopEngineRef>(created);
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  delete ToEngine(engine);
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  return engine != nullptr ? ToEngine(engine)->messenger() : nullptr;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  if (engine != nullptr) ToEngine(engine)->ReloadSystemFonts();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  COUNT_CALL();
  if (engine != nullptr) ToEngine(engine)->SetNextFrameCallback(callback, user_data);
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  COUNT_CALL();
  if (engine == nullptr || plugin_name == nullptr) return nullptr;
  return ToEngine(engine)->GetPluginRegistrar(plugin_name);
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  COUNT_CALL();
  return duzavide::standin::CreateViewController(width, height,
                                                 std::unique_ptr<Engine>(ToEngine(engine)));
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  COUNT_CALL();
  return controller != nullptr ? &controller->view : nullptr;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  COUNT_CALL();
  duzavide::standin::DestroyViewController(controller);
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  COUNT_CALL();
  if (controller == nullptr) return;
  if (controller->view.hwnd != nullptr) InvalidateRect(controller->view.hwnd, nullptr, FALSE);
  controller->engine->RequestFrame();
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  COUNT_CALL();
  (void)controller;
  (void)hwnd;
  (void)message;
  (void)wparam;
  (void)lparam;
  (void)result;
  // The stand-in application has no use for the top-level window's messages.
  return false;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  COUNT_CALL();
  return view != nullptr ? view->hwnd : nullptr;
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
  Engine* engine = EngineOf(messenger);
  if (engine != nullptr && channel != nullptr) {
    engine->SetHostCallback(channel, callback, user_data);
  }
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  COUNT_CALL();
  Engine* engine = EngineOf(messenger);
  if (engine == nullptr || channel == nullptr) return false;
  return engine->DeliverToApp(channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  COUNT_CALL();
  Engine* engine = EngineOf(messenger);
  if (engine == nullptr || channel == nullptr) return false;
  return engine->DeliverToApp(channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  COUNT_CALL();
  if (messenger == nullptr) return;
  // Under the lock the engine cannot end between the test and the use.
  EnterCriticalSection(&messenger->lock);
  if (messenger->available && messenger->engine != nullptr) {
    messenger->engine->SendResponse(handle, data, data_length);
  }
  LeaveCriticalSection(&messenger->lock);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  if (messenger != nullptr) messenger->AddRef();
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  if (messenger != nullptr) messenger->Release();
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  if (messenger == nullptr) return nullptr;
  EnterCriticalSection(&messenger->lock);
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  if (messenger != nullptr) LeaveCriticalSection(&messenger->lock);
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  COUNT_CALL();
  if (messenger == nullptr) return false;
  EnterCriticalSection(&messenger->lock);
  bool available = messenger->available;
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
