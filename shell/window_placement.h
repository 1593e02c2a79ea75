// Placement arithmetic of the main window: where a window of a fixed logical size
// goes on the primary monitor, and how logical geometry becomes physical pixels.
// Pure functions, no OS calls, so every rounding step can be tested directly.
#ifndef SHELL_WINDOW_PLACEMENT_H_
#define SHELL_WINDOW_PLACEMENT_H_

#include <cstdint>

namespace duzavide {

// Logical units are pixels at this DPI.
inline constexpr uint32_t kReferenceDpi = 96;

// The main window's logical size and title.
inline constexpr int32_t kMainWindowWidth = 590;
inline constexpr int32_t kMainWindowHeight = 800;
inline constexpr wchar_t kMainWindowTitle[] = L"Duzavide Connect";

// A rectangle in physical pixels, edges as the system reports them.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

struct LogicalPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// Position and size in physical pixels.
struct PhysicalBounds {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Scale factor of a monitor whose DPI is `dpi` (1.0 at 96 DPI).
double ScaleForDpi(uint32_t dpi);

// Returns the logical origin that centres a window of `width` x `height` logical
// units in `work_area` on a monitor of `dpi`. A window larger than the work area in
// one direction is aligned to the work area's edge in that direction. Every
// conversion truncates toward zero, so the result may sit up to one logical unit
// left of / above the exact centre.
LogicalPoint CenteredWindowOrigin(const ScreenRect& work_area, uint32_t dpi, int32_t width,
                                  int32_t height);

// Multiplies a logical origin and size by the scale of `dpi`, truncating each
// product toward zero.
PhysicalBounds ScaleToPhysical(LogicalPoint origin, int32_t width, int32_t height, uint32_t dpi);

}  // namespace duzavide

#endif  // SHELL_WINDOW_PLACEMENT_H_
