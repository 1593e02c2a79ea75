// The system's filtering engine (the Windows Filtering Platform) behind the
// FilteringPlatform seam: a dynamic session, our own provider and sub-layer, and
// every change in one transaction.
//
// Filters are added at the layers where programs' connections are authorised
// (outbound) and accepted (inbound), IPv4 and IPv6. They show in
// `netsh wfp show filters` under the provider "Duzavide Connect".
#ifndef TUNNEL_LEAK_PROTECTION_WINDOWS_FILTERING_PLATFORM_H_
#define TUNNEL_LEAK_PROTECTION_WINDOWS_FILTERING_PLATFORM_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tunnel/leak_protection/filtering_platform.h"

namespace duzavide {

class WindowsFilteringPlatform final : public FilteringPlatform {
 public:
  WindowsFilteringPlatform() = default;
  ~WindowsFilteringPlatform() override { Close(); }
  WindowsFilteringPlatform(const WindowsFilteringPlatform&) = delete;
  WindowsFilteringPlatform& operator=(const WindowsFilteringPlatform&) = delete;

  // kNoEngine when the engine answers that the system cannot support it (a
  // system without one, such as Wine); any other refusal is kFailed.
  OpenResult Open(std::string* failure) override;
  bool Replace(const std::vector<LeakFilter>& filters, std::string* failure) override;
  void Close() override;

 private:
  HANDLE engine_ = nullptr;
  std::vector<uint64_t> filter_ids_;  // ours, as added
};

}  // namespace duzavide

#endif  // TUNNEL_LEAK_PROTECTION_WINDOWS_FILTERING_PLATFORM_H_
