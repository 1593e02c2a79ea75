// The native child window that shows a Flutter view. Does not own the view: the
// view controller that created it ends it.
#ifndef SHELL_FLUTTER_VIEW_H_
#define SHELL_FLUTTER_VIEW_H_

#include "channel/engine_api/flutter_windows.h"

namespace duzavide {

class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_(view) {}
  virtual ~FlutterView() = default;

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  // The view's child window, for the host to parent into its own window.
  HWND GetNativeWindow() const { return FlutterDesktopViewGetHWND(view_); }

 private:
  FlutterDesktopViewRef view_;
};

}  // namespace duzavide

#endif  // SHELL_FLUTTER_VIEW_H_
