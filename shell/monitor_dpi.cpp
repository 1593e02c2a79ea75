#include "shell/monitor_dpi.h"

#include "channel/engine_api/flutter_windows.h"

namespace duzavide {

namespace {
MonitorDpiQuery g_dpi_query_for_testing = nullptr;
}  // namespace

UINT GetMonitorDpi(HMONITOR monitor) {
  if (g_dpi_query_for_testing != nullptr) return g_dpi_query_for_testing(monitor);
  return FlutterDesktopGetDpiForMonitor(monitor);
}

MonitorDpiQuery SetMonitorDpiQueryForTesting(MonitorDpiQuery query) {
  MonitorDpiQuery previous = g_dpi_query_for_testing;
  g_dpi_query_for_testing = query;
  return previous;
}

}  // namespace duzavide
