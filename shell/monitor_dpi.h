// The DPI of a monitor as the engine library reports it. All window geometry is
// scaled by this value, so tests can substitute it to exercise other DPIs on a
// display that only has one.
#ifndef SHELL_MONITOR_DPI_H_
#define SHELL_MONITOR_DPI_H_

#include <windows.h>

namespace duzavide {

// Returns the DPI of `monitor` (96 = 100 %). Main thread only.
UINT GetMonitorDpi(HMONITOR monitor);

using MonitorDpiQuery = UINT (*)(HMONITOR monitor);

// Replaces the query behind GetMonitorDpi; null restores the engine library's.
// Returns the previous replacement (null when none). For tests.
MonitorDpiQuery SetMonitorDpiQueryForTesting(MonitorDpiQuery query);

}  // namespace duzavide

#endif  // SHELL_MONITOR_DPI_H_
