// What runs inside the stand-in engine's view: the part a real engine would load
// from the compiled application. It talks to the host only through the engine's
// messenger, like the real application does.
//
// Lives inside the view controller: created with the view and destroyed before
// the view and the engine. Platform thread only.
#ifndef STANDINS_ENGINE_APPLICATION_H_
#define STANDINS_ENGINE_APPLICATION_H_

#include <windows.h>

namespace duzavide::standin {

class Application {
 public:
  virtual ~Application() = default;

  // The view window exists; child controls may be created in it.
  virtual void OnViewCreated(HWND view) = 0;
  // A frame was produced (the first one starts scripts).
  virtual void OnFrame() {}
  virtual void OnTimer(UINT_PTR timer_id) { (void)timer_id; }
  virtual void OnCommand(WPARAM wparam, LPARAM lparam) {
    (void)wparam;
    (void)lparam;
  }
  // The view's client area changed (physical pixels).
  virtual void OnSize(int width, int height) {
    (void)width;
    (void)height;
  }
  virtual void OnFontsChanged() {}
  // Paints the view's background area (controls paint themselves).
  virtual void Paint(HDC dc, const RECT& client) {
    (void)dc;
    (void)client;
  }
  // Brush and colours for static controls; null for the default.
  virtual HBRUSH OnControlColor(HDC dc, HWND control) {
    (void)dc;
    (void)control;
    return nullptr;
  }
};

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_APPLICATION_H_
