// Commits one misuse of the engine's C interface, named by the first argument, so
// that a test can watch the stand-in engine refuse it. Exits 0 (after saying so)
// only when nothing refused the misuse.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "shell/engine_api/flutter_windows.h"
#include "standins/engine/standin_hooks.h"

namespace {

FlutterDesktopEngineRef NewEngine() {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = L"data\\flutter_assets";
  properties.icu_data_path = L"data\\icudtl.dat";
  properties.aot_library_path = L"data\\app.so";
  properties.dart_entrypoint = "";
  return FlutterDesktopEngineCreate(&properties);
}

FlutterDesktopViewControllerRef NewController() {
  return FlutterDesktopViewControllerCreate(100, 100, NewEngine());
}

// The response handle of one message delivered to the host side.
const FlutterDesktopMessageResponseHandle* g_handle = nullptr;

void KeepHandle(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
  g_handle = message->response_handle;
}

// A messenger with one message awaiting its response in g_handle.
FlutterDesktopMessengerRef MessengerWithPendingMessage() {
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(NewEngine());
  FlutterDesktopMessengerSetCallback(messenger, "c", &KeepHandle, nullptr);
  const uint8_t message[] = {1};
  DuzavideStandinDeliverMessage(messenger, "c", message, 1, nullptr, nullptr);
  return messenger;
}

void OnOtherThread(const std::function<void()>& work) { std::thread(work).join(); }

// The host's top-level window: while the controller ends, it passes every message
// it gets on to the controller, as a host that keeps the controller would.
FlutterDesktopViewControllerRef g_ending_controller = nullptr;

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (g_ending_controller != nullptr &&
      FlutterDesktopViewControllerHandleTopLevelWindowProc(g_ending_controller, hwnd, message,
                                                           wparam, lparam, &result)) {
    return result;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void DestroyWhileTheHostForwardsMessages() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = HostProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"EngineMisuseHost";
  RegisterClassW(&window_class);
  HWND host = CreateWindowExW(0, L"EngineMisuseHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  FlutterDesktopViewControllerRef controller = NewController();
  SetParent(FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller)), host);
  g_ending_controller = controller;
  FlutterDesktopViewControllerDestroy(controller);
}

const std::map<std::string, std::function<void()>>& Misuses() {
  static const std::map<std::string, std::function<void()>> misuses = {
      {"null-engine", [] { FlutterDesktopEngineGetMessenger(nullptr); }},
      {"null-view-controller", [] { FlutterDesktopViewControllerForceRedraw(nullptr); }},
      {"null-view", [] { FlutterDesktopViewGetHWND(nullptr); }},
      {"null-messenger", [] { FlutterDesktopMessengerIsAvailable(nullptr); }},
      {"controller-during-destroy", &DestroyWhileTheHostForwardsMessages},
      {"engine-after-destroy",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopEngineReloadSystemFonts(engine);
       }},
      {"engine-after-its-controller-ended",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerCreate(100, 100, engine));
         FlutterDesktopEngineGetMessenger(engine);
       }},
      {"engine-destroyed-while-taken-over",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopViewControllerCreate(100, 100, engine);
         FlutterDesktopEngineDestroy(engine);
       }},
      {"send-from-another-thread",
       [] {
         FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(NewEngine());
         OnOtherThread([messenger] { FlutterDesktopMessengerSend(messenger, "c", nullptr, 0); });
       }},
      {"set-callback-from-another-thread",
       [] {
         FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(NewEngine());
         OnOtherThread(
             [messenger] { FlutterDesktopMessengerSetCallback(messenger, "c", nullptr, nullptr); });
       }},
      {"response-from-another-thread-unlocked",
       [] {
         FlutterDesktopMessengerRef messenger = MessengerWithPendingMessage();
         OnOtherThread(
             [messenger] { FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0); });
       }},
      {"response-from-another-thread-locked-unchecked",
       [] {
         FlutterDesktopMessengerRef messenger = MessengerWithPendingMessage();
         OnOtherThread([messenger] {
           FlutterDesktopMessengerLock(messenger);
           FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0);
         });
       }},
      {"response-twice",
       [] {
         FlutterDesktopMessengerRef messenger = MessengerWithPendingMessage();
         FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0);
         FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0);
       }},
      {"response-through-another-engine",
       [] {
         MessengerWithPendingMessage();
         FlutterDesktopMessengerRef other = FlutterDesktopEngineGetMessenger(NewEngine());
         FlutterDesktopMessengerSendResponse(other, g_handle, nullptr, 0);
       }},
  };
  return misuses;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || Misuses().count(argv[1]) == 0) {
    std::fprintf(stderr, "usage: engine_misuse <misuse>\n");
    return 2;
  }
  Misuses().at(argv[1])();
  std::fprintf(stderr, "the misuse \"%s\" was not refused\n", argv[1]);
  return 0;
}
