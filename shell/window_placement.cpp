#include "shell/window_placement.h"

namespace duzavide {

double ScaleForDpi(uint32_t dpi) { return static_cast<double>(dpi) / kReferenceDpi; }

LogicalPoint CenteredWindowOrigin(const ScreenRect& work_area, uint32_t dpi, int32_t width,
                                  int32_t height) {
  const double scale = ScaleForDpi(dpi);
  const auto physical_width = static_cast<int32_t>(width * scale);
  const auto physical_height = static_cast<int32_t>(height * scale);
  const int32_t work_width = work_area.right - work_area.left;
  const int32_t work_height = work_area.bottom - work_area.top;
  const int32_t dx = work_width > physical_width ? (work_width - physical_width) / 2 : 0;
  const int32_t dy = work_height > physical_height ? (work_height - physical_height) / 2 : 0;
  LogicalPoint origin;
  origin.x = static_cast<int32_t>((work_area.left + dx) / scale);
  origin.y = static_cast<int32_t>((work_area.top + dy) / scale);
  return origin;
}

PhysicalBounds ScaleToPhysical(LogicalPoint origin, int32_t width, int32_t height, uint32_t dpi) {
  const double scale = ScaleForDpi(dpi);
  PhysicalBounds bounds;
  bounds.x = static_cast<int32_t>(origin.x * scale);
  bounds.y = static_cast<int32_t>(origin.y * scale);
  bounds.width = static_cast<int32_t>(width * scale);
  bounds.height = static_cast<int32_t>(height * scale);
  return bounds;
}

}  // namespace duzavide
