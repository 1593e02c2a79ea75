// The stand-in engine's view controller and view.
//
// The controller owns the engine it took over (through the engine's record), the
// view's child window (of our own class, first parented to the engine's hidden
// window until the host re-parents it) and the application running in it.
// Destruction ends them in the order application, view, engine. Like engine
// records, controller records are never freed, so a call on a destroyed controller
// is recognised. Platform thread only.
#ifndef STANDINS_ENGINE_VIEW_CONTROLLER_H_
#define STANDINS_ENGINE_VIEW_CONTROLLER_H_

#include <windows.h>

#include <memory>

#include "standins/engine/application.h"
#include "standins/engine/engine.h"

struct FlutterDesktopViewController;

struct FlutterDesktopView {
  HWND hwnd = nullptr;
  FlutterDesktopViewController* controller = nullptr;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine_record = nullptr;
  duzavide::standin::Engine* engine = nullptr;  // null once destroyed
  FlutterDesktopView view;
  std::unique_ptr<duzavide::standin::Application> application;
  bool destroy_begun = false;
};

namespace duzavide::standin {

// Creates the view and starts the application over the engine of `engine_record`,
// which it takes over (and ends on failure). Null when the engine's assets folder,
// ICU data file or application library does not exist (with one line naming it on
// standard error), when the view cannot be created, or when the environment asks
// for a failure (DUZAVIDE_ENGINE_FAIL_CREATE=1). The
// application's first frame comes when the host asks for one, or by itself after
// DUZAVIDE_ENGINE_FIRST_BUILD_MS (500 by default).
FlutterDesktopViewController* CreateViewController(int width, int height,
                                                   FlutterDesktopEngine* engine_record);
// Ends the application, the view and the engine; the record stays, marked.
void DestroyViewController(FlutterDesktopViewController* controller);

// DPI of a monitor as the system reports it, 96 when it cannot tell.
UINT MonitorDpi(HMONITOR monitor);

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_VIEW_CONTROLLER_H_
