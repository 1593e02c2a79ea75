#include "shell/window_placement.h"

#include <gtest/gtest.h>

namespace duzavide {
namespace {

struct CenteringCase {
  const char* name;
  ScreenRect work_area;
  uint32_t dpi;
  LogicalPoint expected;
};

TEST(WindowPlacementTest, CentresTheMainWindowInTheWorkArea) {
  const CenteringCase cases[] = {
      {"96 dpi full hd", {0, 0, 1920, 1040}, 96, {665, 120}},
      // 885 x 1200 physical; dx 997 and dy 180 divided by 1.5 truncate to 664, 120.
      {"144 dpi", {0, 0, 2880, 1560}, 144, {664, 120}},
      // The physical height 1000 does not fit into 728: the top edge stays at the top.
      {"120 dpi too short", {0, 0, 1366, 728}, 120, {251, 0}},
      {"taskbar on the left", {48, 0, 1920, 1080}, 96, {689, 140}},
      {"taskbar on top", {0, 40, 1920, 1080}, 96, {665, 160}},
      {"offset at 144 dpi", {100, 50, 2980, 1610}, 144, {731, 153}},
      {"exactly as wide as the window", {0, 0, 590, 1000}, 96, {0, 100}},
      {"narrower than the window", {10, 20, 500, 700}, 96, {10, 20}},
  };
  for (const CenteringCase& c : cases) {
    SCOPED_TRACE(c.name);
    const LogicalPoint origin =
        CenteredWindowOrigin(c.work_area, c.dpi, kMainWindowWidth, kMainWindowHeight);
    EXPECT_EQ(origin.x, c.expected.x);
    EXPECT_EQ(origin.y, c.expected.y);
  }
}

struct ScalingCase {
  uint32_t dpi;
  LogicalPoint origin;
  PhysicalBounds expected;
};

TEST(WindowPlacementTest, ScalesLogicalGeometryTruncatingEachProduct) {
  const ScalingCase cases[] = {
      {96, {665, 120}, {665, 120, 590, 800}},
      // Truncation twice: 664 * 1.5 lands at 996, one pixel left of the centre.
      {144, {664, 120}, {996, 180, 885, 1200}},
      {120, {251, 0}, {313, 0, 737, 1000}},
      {192, {-5, 7}, {-10, 14, 1180, 1600}},
  };
  for (const ScalingCase& c : cases) {
    SCOPED_TRACE(c.dpi);
    const PhysicalBounds bounds =
        ScaleToPhysical(c.origin, kMainWindowWidth, kMainWindowHeight, c.dpi);
    EXPECT_EQ(bounds.x, c.expected.x);
    EXPECT_EQ(bounds.y, c.expected.y);
    EXPECT_EQ(bounds.width, c.expected.width);
    EXPECT_EQ(bounds.height, c.expected.height);
  }
}

}  // namespace
}  // namespace duzavide
