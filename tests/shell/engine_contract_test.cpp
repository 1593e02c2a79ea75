// Each misuse of the engine's C interface, committed in a child process of its own
// (a death test), ends that process with exit code 86 and the stand-in engine's
// one line naming it.
#include <objbase.h>
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "channel/engine_api/flutter_windows.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "standins/engine/standin_hooks.h"

namespace duzavide {
namespace {

FlutterDesktopEngineRef NewEngine() {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = L"data\\flutter_assets";
  properties.icu_data_path = L"data\\icudtl.dat";
  properties.aot_library_path = L"data\\app.so";
  properties.dart_entrypoint = "";
  return FlutterDesktopEngineCreate(&properties);
}

FlutterDesktopMessengerRef NewMessenger() { return FlutterDesktopEngineGetMessenger(NewEngine()); }

// The response handle of the one message delivered by MessengerWithPendingMessage.
const FlutterDesktopMessageResponseHandle* g_handle = nullptr;

FlutterDesktopMessengerRef MessengerWithPendingMessage() {
  FlutterDesktopMessengerRef messenger = NewMessenger();
  FlutterDesktopMessengerSetCallback(
      messenger, "c",
      [](FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
        g_handle = message->response_handle;
      },
      nullptr);
  const uint8_t message[] = {1};
  DuzavideStandinDeliverMessage(messenger, "c", message, 1, nullptr, nullptr);
  return messenger;
}

void OnOtherThread(const std::function<void()>& work) { std::thread(work).join(); }

// A host window that passes every message on to the controller while it ends, as
// a host that keeps its controller member during the destruction would.
FlutterDesktopViewControllerRef g_ending_controller = nullptr;

LRESULT CALLBACK ForwardingHostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
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
  window_class.lpfnWndProc = ForwardingHostProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"EngineContractHost";
  RegisterClassW(&window_class);
  HWND host = CreateWindowExW(0, L"EngineContractHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                              200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  g_ending_controller = FlutterDesktopViewControllerCreate(100, 100, NewEngine());
  SetParent(FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(g_ending_controller)),
            host);
  FlutterDesktopViewControllerDestroy(g_ending_controller);
}

TEST(EngineContractDeathTest, EachMisuseEndsTheProcessWithOneLineNamingIt) {
  const std::string engine_ended = " called on an engine that has ended";
  const std::string foreign_thread =
      " called from a thread other than the engine's platform thread without holding the "
      "messenger's lock and checking its availability";
  const struct {
    const char* name;
    std::function<void()> misuse;
    std::string refusal;
  } cases[] = {
      {"null engine", [] { FlutterDesktopEngineGetMessenger(nullptr); },
       "FlutterDesktopEngineGetMessenger called with a null engine"},
      {"null view controller", [] { FlutterDesktopViewControllerForceRedraw(nullptr); },
       "FlutterDesktopViewControllerForceRedraw called with a null view controller"},
      {"null view", [] { FlutterDesktopViewGetHWND(nullptr); },
       "FlutterDesktopViewGetHWND called with a null view"},
      {"null messenger", [] { FlutterDesktopMessengerIsAvailable(nullptr); },
       "FlutterDesktopMessengerIsAvailable called with a null messenger"},
      {"controller during its destruction", &DestroyWhileTheHostForwardsMessages,
       "FlutterDesktopViewControllerHandleTopLevelWindowProc called on a view controller whose "
       "destruction has begun"},
      {"engine after its destruction",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopEngineDestroy(engine);
         FlutterDesktopEngineReloadSystemFonts(engine);
       },
       "FlutterDesktopEngineReloadSystemFonts" + engine_ended},
      {"engine after its controller ended",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerCreate(100, 100, engine));
         FlutterDesktopEngineGetMessenger(engine);
       },
       "FlutterDesktopEngineGetMessenger" + engine_ended},
      {"engine after its thread left the COM apartment",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         CoUninitialize();
         FlutterDesktopEngineReloadSystemFonts(engine);
       },
       "FlutterDesktopEngineReloadSystemFonts called on a thread without a COM apartment"},
      {"engine destroyed while taken over",
       [] {
         FlutterDesktopEngineRef engine = NewEngine();
         FlutterDesktopViewControllerCreate(100, 100, engine);
         FlutterDesktopEngineDestroy(engine);
       },
       "FlutterDesktopEngineDestroy called on an engine that a view controller has taken over"},
      {"send from another thread",
       [] {
         FlutterDesktopMessengerRef messenger = NewMessenger();
         OnOtherThread([messenger] { FlutterDesktopMessengerSend(messenger, "c", nullptr, 0); });
       },
       "FlutterDesktopMessengerSend" + foreign_thread},
      {"set callback from another thread",
       [] {
         FlutterDesktopMessengerRef messenger = NewMessenger();
         OnOtherThread(
             [messenger] { FlutterDesktopMessengerSetCallback(messenger, "c", nullptr, nullptr); });
       },
       "FlutterDesktopMessengerSetCallback" + foreign_thread},
      {"response from another thread without the lock",
       [] {
         FlutterDesktopMessengerRef messenger = MessengerWithPendingMessage();
         OnOtherThread(
             [messenger] { FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0); });
       },
       "FlutterDesktopMessengerSendResponse" + foreign_thread},
      {"response from another thread locked but unchecked",
       [] {
         FlutterDesktopMessengerRef messenger = MessengerWithPendingMessage();
         OnOtherThread([messenger] {
           FlutterDesktopMessengerLock(messenger);
           FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0);
         });
       },
       "FlutterDesktopMessengerSendResponse" + foreign_thread},
      {"response twice",
       [] {
         FlutterDesktopMessengerRef messenger = MessengerWithPendingMessage();
         FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0);
         FlutterDesktopMessengerSendResponse(messenger, g_handle, nullptr, 0);
       },
       "FlutterDesktopMessengerSendResponse called with a response handle that was already "
       "answered"},
      {"response through another engine",
       [] {
         MessengerWithPendingMessage();
         FlutterDesktopMessengerSendResponse(NewMessenger(), g_handle, nullptr, 0);
       },
       "FlutterDesktopMessengerSendResponse called with a response handle of another engine"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EXIT(
        test.misuse(), testing::ExitedWithCode(86),
        testing::MatchesRegex("standin-engine: contract violation: " + test.refusal + "\r?\n"));
  }
}

}  // namespace
}  // namespace duzavide
