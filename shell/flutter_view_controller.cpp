#include "shell/flutter_view_controller.h"

#include "base/line_sink.h"

namespace duzavide {

FlutterViewController::FlutterViewController(int width, int height, const EngineProject& project) {
  engine_ = std::make_shared<FlutterEngine>(project);
  // From here on only the view controller ends that engine.
  FlutterDesktopEngineRef engine = engine_->ReleaseEngineOwnership();
  if (engine == nullptr) {
    EmitLine("Failed to create engine.");
    return;
  }
  controller_ = FlutterDesktopViewControllerCreate(width, height, engine);
  if (controller_ == nullptr) {
    EmitLine("Failed to create view controller.");
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_));
}

FlutterViewController::~FlutterViewController() {
  if (controller_ != nullptr) FlutterDesktopViewControllerDestroy(controller_);
  controller_ = nullptr;
  view_.reset();
  engine_.reset();
}

void FlutterViewController::ForceRedraw() {
  if (controller_ != nullptr) FlutterDesktopViewControllerForceRedraw(controller_);
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  LRESULT result = 0;
  if (controller_ != nullptr && FlutterDesktopViewControllerHandleTopLevelWindowProc(
                                    controller_, hwnd, message, wparam, lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace duzavide
