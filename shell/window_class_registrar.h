// Registration of the top-level window class, shared by every Win32Window.
#ifndef SHELL_WINDOW_CLASS_REGISTRAR_H_
#define SHELL_WINDOW_CLASS_REGISTRAR_H_

namespace duzavide {

inline constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

// Process-wide singleton, created on first use and never destroyed. Main thread
// only; unguarded.
class WindowClassRegistrar {
 public:
  static WindowClassRegistrar* GetInstance();

  // Returns the class name, registering the class first if it is not registered:
  // redraw on resize, the application icon, the arrow cursor, no background brush.
  const wchar_t* GetWindowClass();

  // Unregisters the class. The system refuses while windows of the class still
  // exist; the registrar forgets the registration either way, so the next
  // GetWindowClass registers again.
  void UnregisterWindowClass();

  WindowClassRegistrar(const WindowClassRegistrar&) = delete;
  WindowClassRegistrar& operator=(const WindowClassRegistrar&) = delete;

 private:
  WindowClassRegistrar() = default;

  bool class_registered_ = false;
};

}  // namespace duzavide

#endif  // SHELL_WINDOW_CLASS_REGISTRAR_H_
