// LeakProtection puts a plan (leak_protection_plan.h) in place through the
// filtering platform and keeps it there until it is removed: the tunnel
// controller applies it before the first core starts, again when the tunnel's
// interface appears, keeps it through every reconnect and recovery wait, and
// removes it when the tunnel is no longer wanted.
//
// A system without a filtering engine (Wine) is told apart from a failure: the
// tunnel then runs unprotected, and says so. Controller's thread.
#ifndef TUNNEL_LEAK_PROTECTION_LEAK_PROTECTION_H_
#define TUNNEL_LEAK_PROTECTION_LEAK_PROTECTION_H_

#include <string>
#include <vector>

#include "tunnel/leak_protection/filtering_platform.h"
#include "tunnel/leak_protection/leak_protection_plan.h"

namespace duzavide {

class LeakProtection {
 public:
  enum class State {
    kOff,          // nothing in place
    kOn,           // the plan is in place
    kUnavailable,  // the system has no filtering engine; `reason` says why
  };

  // `platform` is not owned and must outlive this object.
  explicit LeakProtection(FilteringPlatform* platform) : platform_(platform) {}
  ~LeakProtection() { Remove(); }
  LeakProtection(const LeakProtection&) = delete;
  LeakProtection& operator=(const LeakProtection&) = delete;

  // Puts `filters` in place, opening the engine first when nothing is. True when
  // they are in place, or when the system has none (state kUnavailable, nothing
  // more is tried until Remove). False with `failure`: nothing new is in place;
  // filters that were in place stay, and none are when it was the first.
  bool Apply(const std::vector<LeakFilter>& filters, std::string* failure);
  // Removes everything. Safe to repeat.
  void Remove();

  State state() const { return state_; }
  // Why the protection is unavailable (for kUnavailable).
  const std::string& reason() const { return reason_; }

 private:
  FilteringPlatform* const platform_;
  State state_ = State::kOff;
  std::string reason_;
};

}  // namespace duzavide

#endif  // TUNNEL_LEAK_PROTECTION_LEAK_PROTECTION_H_
