#include "shell/application.h"

#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "base/delay_load_hook.h"
#include "base/line_sink.h"
#include "shell/command_line_arguments.h"
#include "shell/console_ending.h"
#include "shell/debug_console.h"
#include "shell/executable_folder_check.h"
#include "shell/flutter_window.h"
#include "shell/host_log.h"
#include "shell/monitor_dpi.h"
#include "shell/single_instance.h"
#include "tunnel/data_folder/data_folder.h"
#include "tunnel/proxy_setting/system_proxy_keeper.h"

namespace duzavide {

namespace {
constexpr wchar_t kDataFolder[] = L"data";
// How long a second start waits for the running instance to show a window (it
// may be starting) or to end (it may be ending: the core's disconnect and the
// engine's end take their time).
constexpr std::chrono::milliseconds kHandOverWait{30000};

// The thread's COM apartment, entered for the object's life: declared before the
// window, so that the window, the engine and the view are gone before it is left.
class ComApartment {
 public:
  ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComApartment() { ::CoUninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

std::string StartLine(const std::vector<std::string>& arguments) {
  std::string line = "Duzavide " DUZAVIDE_VERSION " started, pid " +
                     std::to_string(::GetCurrentProcessId()) + ", arguments:";
  if (arguments.empty()) line += " none";
  for (const std::string& argument : arguments) line += " \"" + argument + "\"";
  return line;
}

// What the start did with the folders, one line each.
void ReportFolders(const VerifiedFolder& data_folder, const VerifiedFolder& logs_folder) {
  for (const VerifiedFolder* folder : {&data_folder, &logs_folder}) {
    for (const std::string& note : folder->notes) EmitLine(note);
    if (!folder->unprotected_note.empty()) EmitLine(folder->unprotected_note);
  }
  if (data_folder.path.empty()) {
    EmitLine("no data folder can be used (" + data_folder.problem +
             "); the host log goes to standard error only");
  } else if (logs_folder.path.empty()) {
    EmitLine("the logs folder cannot be used (" + logs_folder.problem +
             "); the host log goes to standard error only");
  }
}

// The process's run after the start has been logged; returns the exit code.
int RunInstance(std::vector<std::string> arguments) {
  // Held until the window and its tunnel are gone, so later starts in this
  // session hand over to us, or wait for us to end.
  SingleInstance instance;
  if (!instance.is_first()) {
    // No engine, window or session next to another instance: two hosts would
    // fight over the core, the tray and the configuration file.
    switch (instance.WaitForRunningInstance(kHandOverWait)) {
      case SingleInstance::HandOver::kShown:
        EmitLine("another instance runs in this session; asked it to show its window");
        return 0;
      case SingleInstance::HandOver::kBecameFirst:
        EmitLine("the instance that was ending in this session has gone; starting");
        break;
      case SingleInstance::HandOver::kTimedOut:
        EmitLine(
            "the instance lock of this session is held, but its holder shows no window and did "
            "not end within 30 s; exiting");
        return 1;
    }
  }

  // A proxy setting that a killed run left saved comes back first; only here, in
  // the first instance, so a second start never undoes a running tunnel's switch.
  RestoreLeftOverSystemProxy(EmitLine);
  const ComApartment apartment;
  const EngineProject project = MakeEngineProject(std::move(arguments));
  const LogicalPoint origin = CenteredOriginOnPrimaryMonitor(kMainWindowWidth, kMainWindowHeight);

  FlutterWindow window(project);
  if (!window.Create(kMainWindowTitle, Win32Window::Point{origin.x, origin.y},
                     Win32Window::Size{kMainWindowWidth, kMainWindowHeight})) {
    EmitLine("could not create the main window with its engine and view");
    return 1;
  }
  window.SetQuitOnClose(true);
  CloseWindowOnConsoleEvents(window.GetHandle());

  // Every way out destroys the window first (engine included), then the loop
  // ends; the window object goes with this scope, before the apartment is left.
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

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
  EnableRedirectionTrust();
  // Before anything is loaded or started from the executable's folder (the
  // engine, through a debug console, included), and held until the process ends.
  const ExecutableFolderCheck folder_check = CheckExecutableFolder();
  if (!folder_check.refusal.empty()) {
    ReportStartRefused(folder_check);
    return 1;
  }
  AllowPrivateLibrary(folder_check.folder + L"\\" + kEngineLibrary);
  AttachDiagnosticsConsole();
  // Verified by handle before anything is written into them, and held open until
  // the process ends, so they cannot be renamed or replaced meanwhile. Without a
  // usable folder the log goes to standard error only.
  const VerifiedFolder data_folder = VerifyDataFolder();
  const VerifiedFolder logs_folder = VerifyLogsFolder(data_folder);
  // Every line of the process goes to the log from here on. It is shared with the
  // sink, so a thread still writing after the window has gone finds it there.
  auto log = std::make_shared<HostLog>(logs_folder.path);
  SetLineSink([log](const std::string& line) { log->Write(line); }, [log] { log->Flush(); });
  std::vector<std::string> arguments = CollectCommandLineArguments();
  EmitLine(StartLine(arguments));
  if (!folder_check.note.empty()) EmitLine(folder_check.note);
  ReportFolders(data_folder, logs_folder);
  const int exit_code = RunInstance(std::move(arguments));
  EmitLine("exiting with code " + std::to_string(exit_code));
  FlushLines();
  EndOfTeardown();
  SetLineSink(nullptr);
  return exit_code;
}

}  // namespace duzavide
