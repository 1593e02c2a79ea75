// The stand-in engine's view controller and view.
//
// The controller owns the engine it took over, the view's child window (of our own
// class, first parented to the engine's hidden window until the host re-parents
// it) and the application running in it. Destruction ends them in the order
// application, view, engine. Platform thread only.
#ifndef STANDINS_ENGINE_VIEW_CONTROLLER_H_
#define STANDINS_ENGINE_VIEW_CONTROLLER_H_

#include <windows.h>

#include <memory>

#include "standins/engine/application.h"
#include "standins/engine/engine.h"

struct FlutterDesktopView {
  HWND hwnd = nullptr;
};

struct FlutterDesktopViewController {
  std::unique_ptr<duzavide::standin::Engine> engine;
  FlutterDesktopView view;
  std::unique_ptr<duzavide::standin::Application> application;
};

namespace duzavide::standin {

// Creates the view and starts the application over `engine`, which it takes over
// (and ends on failure). Null when the view cannot be created, or when the
// environment asks for a failure (DUZAVIDE_ENGINE_FAIL_CREATE=1).
FlutterDesktopViewController* CreateViewController(int width, int height,
                                                   std::unique_ptr<Engine> engine);
void DestroyViewController(FlutterDesktopViewController* controller);

// DPI of a monitor as the system reports it, 96 when it cannot tell.
UINT MonitorDpi(HMONITOR monitor);

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_VIEW_CONTROLLER_H_
