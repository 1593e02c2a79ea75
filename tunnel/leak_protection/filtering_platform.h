// FilteringPlatform: what leak protection needs of the system's filtering engine,
// as one seam, so that its sequence can be checked against a fake as demanding
// as the real engine (which Wine does not have). The system's own is in
// windows_filtering_platform.h. One thread at a time.
#ifndef TUNNEL_LEAK_PROTECTION_FILTERING_PLATFORM_H_
#define TUNNEL_LEAK_PROTECTION_FILTERING_PLATFORM_H_

#include <string>
#include <vector>

#include "tunnel/leak_protection/leak_protection_plan.h"

namespace duzavide {

class FilteringPlatform {
 public:
  enum class OpenResult {
    kOpened,
    kNoEngine,  // this system has no filtering engine at all
    kFailed,
  };

  virtual ~FilteringPlatform() = default;

  // Opens a dynamic session with the engine (everything added in it goes when it
  // is closed or this process ends, so a crash never leaves the machine without
  // a network) and adds our provider and sub-layer in it. After kNoEngine or
  // kFailed nothing else may be called but Open again.
  virtual OpenResult Open(std::string* failure) = 0;
  // Replaces our filters by `filters` in one transaction: afterwards exactly
  // those, or (false, with `failure`) exactly the ones before.
  virtual bool Replace(const std::vector<LeakFilter>& filters, std::string* failure) = 0;
  // Ends the session; its filters go with it. Safe to repeat.
  virtual void Close() = 0;
};

}  // namespace duzavide

#endif  // TUNNEL_LEAK_PROTECTION_FILTERING_PLATFORM_H_
