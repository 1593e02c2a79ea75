#include "standins/engine/view_controller.h"

#include <string>
#include <utility>

#include "standins/engine/control_panel.h"
#include "standins/engine/environment.h"
#include "standins/engine/script_runner.h"

namespace duzavide::standin {
namespace {

constexpr wchar_t kViewWindowClass[] = L"DuzavideStandinView";

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

}  // namespace

FlutterDesktopViewController* CreateViewController(int width, int height,
                                                   std::unique_ptr<Engine> engine) {
  if (!engine) return nullptr;
  if (EnvironmentValue(L"DUZAVIDE_ENGINE_FAIL_CREATE") == L"1") return nullptr;
  if (!RegisterViewWindowClass()) return nullptr;

  auto controller = std::make_unique<FlutterDesktopViewController>();
  controller->engine = std::move(engine);
  Engine* engine_ptr = controller->engine.get();
  controller->view.hwnd = CreateWindowExW(
      0, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height,
      engine_ptr->window(), nullptr, LibraryInstance(), controller.get());
  if (controller->view.hwnd == nullptr) return nullptr;

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
  // The application starts by drawing its first frame.
  engine_ptr->RequestFrame();
  return controller.release();
}

void DestroyViewController(FlutterDesktopViewController* controller) {
  if (controller == nullptr) return;
  controller->engine->SetFrameObserver(nullptr);
  controller->engine->SetFontObserver(nullptr);
  controller->application.reset();
  if (controller->view.hwnd != nullptr) {
    HWND view = controller->view.hwnd;
    controller->view.hwnd = nullptr;
    SetWindowLongPtrW(view, GWLP_USERDATA, 0);
    DestroyWindow(view);
  }
  controller->engine.reset();
  delete controller;
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
