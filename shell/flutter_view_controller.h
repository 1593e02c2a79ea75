// The view that shows a Flutter application; it takes the engine over.
//
// Construction creates an engine from the project, hands it to a new engine view
// controller and wraps the resulting view. When the engine cannot be created,
// "Failed to create engine." goes to standard error; when the view controller
// cannot, "Failed to create view controller.". Either way GetView() is null and
// callers must check it; the other calls then ask nothing of the library.
// Destruction ends the view and the engine, then drops the engine wrapper.
// Main thread only.
#ifndef SHELL_FLUTTER_VIEW_CONTROLLER_H_
#define SHELL_FLUTTER_VIEW_CONTROLLER_H_

#include <memory>
#include <optional>

#include "channel/engine_api/flutter_windows.h"
#include "shell/engine_project.h"
#include "shell/flutter_engine.h"
#include "shell/flutter_view.h"

namespace duzavide {

class FlutterViewController {
 public:
  // `width` and `height` are physical pixels.
  FlutterViewController(int width, int height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* GetEngine() const { return engine_.get(); }
  // Null when creation failed.
  FlutterView* GetView() const { return view_.get(); }

  // Makes the engine produce a frame.
  void ForceRedraw();

  // Offers a message of the top-level window to the engine first; holds the result
  // when the engine consumed the message, else empty.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace duzavide

#endif  // SHELL_FLUTTER_VIEW_CONTROLLER_H_
