#include "standins/engine/view_controller.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "standins/engine/control_panel.h"
#include "standins/engine/environment.h"
#include "standins/engine/script_runner.h"

namespace duzavide::standin {
namespace {

constexpr wchar_t kViewWindowClass[] = L"DuzavideStandinView";
// How long the application takes to build its first frame when nobody asks.
constexpr UINT kDefaultFirstBuildMs = 500;

Application* ApplicationOf(HWND hwnd) {
  auto* controller =
      reinterpret_cast<FlutterDesktopViewController*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return controller != nullptr ? controller->application.get() : nullptr;
}

LRESULT CALLBACK ViewWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* controller =
      reinterpret_cast<FlutterDesktopViewController*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  Application* application = ApplicationOf(hwnd);
  switch (message) {
    case WM_TIMER:
      if (application != nullptr) application->OnTimer(wparam);
      return 0;
    case WM_COMMAND:
      if (application != nullptr) application->OnCommand(wparam, lparam);
      return 0;
    case WM_SIZE:
      if (application != nullptr) application->OnSize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      RECT client;
      GetClientRect(hwnd, &client);
      if (application != nullptr) {
        application->Paint(dc, client);
      } else {
        FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
      }
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (application != nullptr) {
        HBRUSH brush = application->OnControlColor(reinterpret_cast<HDC>(wparam),
                                                   reinterpret_cast<HWND>(lparam));
        if (brush != nullptr) return reinterpret_cast<LRESULT>(brush);
      }
      break;
    case WM_DESTROY:
      // The host may destroy its window (and with it this view) before ending us.
      if (controller != nullptr) controller->view.hwnd = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool RegisterViewWindowClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = ViewWindowProc;
  window_class.hInstance = LibraryInstance();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kViewWindowClass;
  registered = RegisterClassExW(&window_class) != 0;
  return registered;
}

std::unique_ptr<Application> ChooseApplication(Engine* engine) {
  std::wstring script = EnvironmentValue(L"DUZAVIDE_ENGINE_SCRIPT");
  if (!script.empty()) {
    return std::make_unique<ScriptRunner>(engine, script,
                                          EnvironmentValue(L"DUZAVIDE_ENGINE_TRANSCRIPT"));
  }
  return std::make_unique<ControlPanel>(engine);
}

UINT FirstBuildDelayMs() {
  const std::wstring value = EnvironmentValue(L"DUZAVIDE_ENGINE_FIRST_BUILD_MS");
  if (value.empty()) return kDefaultFirstBuildMs;
  return static_cast<UINT>(std::wcstoul(value.c_str(), nullptr, 10));
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string utf8(size > 0 ? size : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

// A relative path is taken from the executable's folder, not the working folder,
// as the real library does.
std::wstring ResolvedPath(const std::wstring& path) {
  const bool absolute = (path.size() >= 2 && path[1] == L':') ||
                        (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
  if (absolute) return path;
  wchar_t executable[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, executable, MAX_PATH);
  std::wstring folder(executable);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + path;
}

// The line naming the first data file of `engine` that is missing; empty when all
// exist.
std::string MissingDataFile(const Engine& engine) {
  struct Required {
    const char* what;
    const std::wstring& path;
    bool folder;
  };
  const Required required[] = {
      {"assets folder", engine.assets_path(), true},
      {"ICU data file", engine.icu_data_path(), false},
      {"application library", engine.aot_library_path(), false},
  };
  for (const Required& item : required) {
    if (item.path.empty()) return std::string("standin-engine: no ") + item.what + " given";
    const std::wstring path = ResolvedPath(item.path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool found = attributes != INVALID_FILE_ATTRIBUTES &&
                       ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == item.folder;
    if (!found) {
      return std::string("standin-engine: the ") + item.what + " is missing: " + Utf8(path);
    }
  }
  return std::string();
}

}  // namespace

FlutterDesktopViewController* CreateViewController(int width, int height,
                                                   FlutterDesktopEngine* engine_record) {
  engine_record->state = FlutterDesktopEngine::State::kTakenOver;
  Engine* engine_ptr = engine_record->engine.get();
  // Whatever fails from here on, the engine ends with it.
  auto fail = [engine_record]() -> FlutterDesktopViewController* {
    EndEngine(*engine_record);
    return nullptr;
  };
  if (EnvironmentValue(L"DUZAVIDE_ENGINE_FAIL_CREATE") == L"1") return fail();
  const std::string missing = MissingDataFile(*engine_ptr);
  if (!missing.empty()) {
    std::fprintf(stderr, "%s\n", missing.c_str());
    std::fflush(stderr);
    return fail();
  }
  if (!RegisterViewWindowClass()) return fail();

  auto controller = std::make_unique<FlutterDesktopViewController>();
  controller->engine_record = engine_record;
  controller->engine = engine_ptr;
  controller->view.controller = controller.get();
  controller->view.hwnd = CreateWindowExW(
      0, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height,
      engine_ptr->window(), nullptr, LibraryInstance(), controller.get());
  if (controller->view.hwnd == nullptr) return fail();

  controller->application = ChooseApplication(engine_ptr);
  controller->application->OnViewCreated(controller->view.hwnd);
  FlutterDesktopViewController* raw = controller.get();
  engine_ptr->SetFrameObserver([raw] {
    if (raw->view.hwnd != nullptr) InvalidateRect(raw->view.hwnd, nullptr, FALSE);
    if (raw->application) raw->application->OnFrame();
  });
  engine_ptr->SetFontObserver([raw] {
    if (raw->application) raw->application->OnFontsChanged();
  });
  // The application builds its first frame by itself after a while; a host that
  // wants it sooner asks with ForceRedraw.
  engine_ptr->ScheduleFirstBuild(FirstBuildDelayMs());
  return controller.release();
}

void DestroyViewController(FlutterDesktopViewController* controller) {
  controller->destroy_begun = true;
  controller->engine_record->state = FlutterDesktopEngine::State::kEnding;
  controller->engine->BeginEnding();
  controller->engine->SetFrameObserver(nullptr);
  controller->engine->SetFontObserver(nullptr);
  controller->application.reset();
  if (controller->view.hwnd != nullptr) {
    HWND view = controller->view.hwnd;
    controller->view.hwnd = nullptr;
    SetWindowLongPtrW(view, GWLP_USERDATA, 0);
    DestroyWindow(view);
  }
  EndEngine(*controller->engine_record);
  controller->engine = nullptr;
}

UINT MonitorDpi(HMONITOR monitor) {
  using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  UINT dpi = 96;
  HMODULE shcore = LoadLibraryW(L"shcore.dll");
  if (shcore == nullptr) return dpi;
  auto get_dpi = reinterpret_cast<GetDpiForMonitorFunction>(
      reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  // Type 0 is the effective DPI, the one that scaling decisions use.
  if (get_dpi != nullptr && SUCCEEDED(get_dpi(monitor, 0, &dpi_x, &dpi_y)) && dpi_x != 0) {
    dpi = dpi_x;
  }
  FreeLibrary(shcore);
  return dpi;
}

}  // namespace duzavide::standin
