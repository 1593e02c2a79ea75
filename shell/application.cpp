#include "shell/application.h"

#include <objbase.h>
#include <windows.h>

#include <utility>

#include "shell/command_line_arguments.h"
#include "shell/debug_console.h"
#include "shell/flutter_window.h"
#include "shell/monitor_dpi.h"

namespace duzavide {

namespace {
constexpr wchar_t kDataFolder[] = L"data";
}  // namespace

EngineProject MakeEngineProject(std::vector<std::string> arguments) {
  EngineProject project;
  project.assets_path = std::wstring(kDataFolder) + L"\\flutter_assets";
  project.icu_data_path = std::wstring(kDataFolder) + L"\\icudtl.dat";
  project.aot_library_path = std::wstring(kDataFolder) + L"\\app.so";
  project.dart_entrypoint_arguments = std::move(arguments);
  return project;
}

LogicalPoint CenteredOriginOnPrimaryMonitor(int32_t width, int32_t height) {
  HMONITOR monitor = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ::GetMonitorInfoW(monitor, &info);
  const ScreenRect work_area{info.rcWork.left, info.rcWork.top, info.rcWork.right,
                             info.rcWork.bottom};
  return CenteredWindowOrigin(work_area, GetMonitorDpi(monitor), width, height);
}

int RunDesktopApplication() {
  AttachDiagnosticsConsole();
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  const EngineProject project = MakeEngineProject(CollectCommandLineArguments());
  const LogicalPoint origin = CenteredOriginOnPrimaryMonitor(kMainWindowWidth, kMainWindowHeight);

  FlutterWindow window(project);
  if (!window.Create(kMainWindowTitle, Win32Window::Point{origin.x, origin.y},
                     Win32Window::Size{kMainWindowWidth, kMainWindowHeight})) {
    return 1;
  }
  window.SetQuitOnClose(true);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::CoUninitialize();
  return 0;
}

}  // namespace duzavide
