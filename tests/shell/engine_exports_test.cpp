// The engine library exports every call the shell makes, under its exact name, so
// that the host can load either our stand-in or the real library.
#include <windows.h>

#include "gtest/gtest.h"

namespace duzavide {
namespace {

TEST(EngineExportsTest, EveryEngineCallIsExported) {
  HMODULE library = LoadLibraryW(L"flutter_windows.dll");
  ASSERT_NE(library, nullptr);
  const char* const kCalls[] = {
      "FlutterDesktopEngineCreate",
      "FlutterDesktopEngineGetMessenger",
      "FlutterDesktopEngineDestroy",
      "FlutterDesktopEngineReloadSystemFonts",
      "FlutterDesktopEngineSetNextFrameCallback",
      "FlutterDesktopEngineGetPluginRegistrar",
      "FlutterDesktopViewControllerCreate",
      "FlutterDesktopViewControllerGetView",
      "FlutterDesktopViewControllerDestroy",
      "FlutterDesktopViewControllerForceRedraw",
      "FlutterDesktopViewControllerHandleTopLevelWindowProc",
      "FlutterDesktopViewGetHWND",
      "FlutterDesktopGetDpiForMonitor",
      "FlutterDesktopResyncOutputStreams",
      "FlutterDesktopMessengerSetCallback",
      "FlutterDesktopMessengerSend",
      "FlutterDesktopMessengerSendWithReply",
      "FlutterDesktopMessengerSendResponse",
      "FlutterDesktopMessengerAddRef",
      "FlutterDesktopMessengerRelease",
      "FlutterDesktopMessengerLock",
      "FlutterDesktopMessengerUnlock",
      "FlutterDesktopMessengerIsAvailable",
  };
  for (const char* call : kCalls) {
    EXPECT_NE(GetProcAddress(library, call), nullptr) << call;
  }
  FreeLibrary(library);
}

TEST(EngineExportsTest, MonitorDpiIsPlausible) {
  using GetDpi = UINT (*)(HMONITOR);
  HMODULE library = LoadLibraryW(L"flutter_windows.dll");
  ASSERT_NE(library, nullptr);
  auto get_dpi = reinterpret_cast<GetDpi>(
      reinterpret_cast<void*>(GetProcAddress(library, "FlutterDesktopGetDpiForMonitor")));
  ASSERT_NE(get_dpi, nullptr);
  POINT origin = {0, 0};
  UINT dpi = get_dpi(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY));
  EXPECT_GE(dpi, 72u);
  EXPECT_LE(dpi, 480u);
  FreeLibrary(library);
}

}  // namespace
}  // namespace duzavide
