#include "tunnel/network/network_recovery.h"

#include <algorithm>
#include <utility>

namespace duzavide {
namespace {

constexpr int64_t kPeriodicRecheckMs = 3000;
// Offline, the route table is read more often: it is cheap, and some systems say
// nothing when a route returns.
constexpr int64_t kOfflineRecheckMs = 1000;
// Waits before the next attempt after each failed one; the last repeats.
constexpr int kRetrySeconds[] = {1, 2, 4, 8, 15, 30};
constexpr int64_t kResumeRechecksMs[] = {1000, 3000, 10000, 30000};
// A core that keeps ending is not the network's doing: after this many ends
// within the window the recovery gives up.
constexpr size_t kCoreEndsBeforeGivingUp = 5;
constexpr int64_t kCoreEndWindowMs = 10 * 60 * 1000;
// A better path while the one in use still works must hold this long.
constexpr int64_t kStablePathMs = 5000;
// A connection that lasted this long ends the backoff of reconnects.
constexpr int64_t kSettledMs = 60000;

bool Offline(const NetworkPath& path) {
  return !path.has_default_route || path.local_address.empty();
}

}  // namespace

void NetworkRecovery::OnConnected(const RunPath& run, int64_t now_ms) {
  resume_checks_ms_.clear();
  core_ends_ms_.clear();
  reconnected_ = false;
  quick_reconnects_ = 0;
  Remember(run, now_ms);
}

void NetworkRecovery::Remember(const RunPath& run, int64_t now_ms) {
  server_ = run.server;
  // Without the tables the bridge's own address stands for the path.
  path_ = run.detected.value_or(NetworkPath{true, run.local_address});
  state_ = State::kConnected;
  failed_attempts_ = 0;
  next_retry_ms_.reset();
  next_periodic_ms_ = now_ms;
  connected_at_ms_ = now_ms;
  candidate_.clear();
  damped_wait_ = false;
}

void NetworkRecovery::OnDisconnected() {
  state_ = State::kIdle;
  next_retry_ms_.reset();
  resume_checks_ms_.clear();
}

bool NetworkRecovery::OnCoreEnded(const std::string& exit_code, int64_t now_ms) {
  // Between runs (waiting, or between attempts) no core was meant to run.
  if (state_ != State::kConnected) return state_ != State::kIdle;
  core_ends_ms_.erase(
      std::remove_if(core_ends_ms_.begin(), core_ends_ms_.end(),
                     [now_ms](int64_t at) { return at <= now_ms - kCoreEndWindowMs; }),
      core_ends_ms_.end());
  core_ends_ms_.push_back(now_ms);
  if (core_ends_ms_.size() >= kCoreEndsBeforeGivingUp) {
    actions_->WriteLine("[host] the core ended " + std::to_string(kCoreEndsBeforeGivingUp) +
                        " times within 10 minutes -- giving up; its last exit code was " +
                        exit_code);
    OnDisconnected();
    return false;
  }
  actions_->WriteLine("[host] the core ended on its own (exit code " + exit_code +
                      "); reconnecting");
  Reconnect(now_ms);
  return true;
}

void NetworkRecovery::Recheck(RecheckReason reason, int64_t now_ms) {
  if (state_ == State::kIdle) return;
  next_periodic_ms_ = now_ms + (state_ == State::kWaiting ? kOfflineRecheckMs : kPeriodicRecheckMs);
  const std::optional<NetworkPath> fresh = actions_->ReadPath(server_, path_.local_address);
  if (!fresh || WaitIfOffline(fresh, now_ms)) return;
  const bool changed = fresh->local_address != path_.local_address;
  const std::string changed_line =
      "[host] network changed (" + path_.local_address + " -> " + fresh->local_address + ")";
  switch (state_) {
    case State::kConnected:
      if (reason == RecheckReason::kRelaySilent) {
        ReconnectDamped(*fresh, "[host] no answer through the tunnel", now_ms);
        return;
      }
      if (reason == RecheckReason::kBridgeTrouble) {
        ReconnectDamped(*fresh, changed_line, now_ms);
        return;
      }
      if (!changed) {
        candidate_.clear();
        return;
      }
      // The address in use still works: a better path must hold a few seconds
      // before the tunnel moves to it, so that a wavering table moves nothing.
      if (fresh->in_use_reaches) {
        if (candidate_ != fresh->local_address) {
          candidate_ = fresh->local_address;
          candidate_since_ms_ = now_ms;
        }
        if (now_ms - candidate_since_ms_ < kStablePathMs) return;
      }
      ReconnectDamped(*fresh, changed_line, now_ms);
      return;
    case State::kRetrying:
      // The retry comes when it is due; only a new address is worth trying at
      // once, and not while a reconnect waits out its backoff.
      if (!changed || damped_wait_) return;
      break;
    case State::kWaiting:  // a way out is back
    case State::kIdle:
      break;
  }
  actions_->WriteLine(changed_line + "; reconnecting");
  // What a retry compares with: the path this attempt was made for.
  path_ = *fresh;
  Reconnect(now_ms);
}

void NetworkRecovery::ReconnectDamped(const NetworkPath& fresh, const std::string& why,
                                      int64_t now_ms) {
  candidate_.clear();
  // What a retry compares with: the path this attempt is made for.
  path_ = fresh;
  // Only a connection that lasted ends the backoff: a network that keeps
  // changing (or a relay that keeps going silent) is not chased every few seconds.
  quick_reconnects_ =
      reconnected_ && now_ms - connected_at_ms_ < kSettledMs ? quick_reconnects_ + 1 : 0;
  if (quick_reconnects_ == 0) {
    actions_->WriteLine(why + "; reconnecting");
    Reconnect(now_ms);
    return;
  }
  const size_t last = sizeof(kRetrySeconds) / sizeof(kRetrySeconds[0]) - 1;
  const int delay = kRetrySeconds[std::min(quick_reconnects_ - 1, last)];
  actions_->WriteLine(why + "; reconnecting in " + std::to_string(delay) + " s");
  damped_wait_ = true;
  state_ = State::kRetrying;
  next_retry_ms_ = now_ms + int64_t{delay} * 1000;
}

void NetworkRecovery::OnResume(int64_t now_ms, bool relay_was_silent) {
  if (state_ == State::kIdle) return;
  resume_checks_ms_.clear();
  for (int64_t delay : kResumeRechecksMs) resume_checks_ms_.push_back(now_ms + delay);
  Recheck(relay_was_silent ? RecheckReason::kRelaySilent : RecheckReason::kResume, now_ms);
}

void NetworkRecovery::RunDue(int64_t now_ms) {
  if (state_ == State::kIdle) return;
  if (next_retry_ms_ && now_ms >= *next_retry_ms_) {
    next_retry_ms_.reset();
    const std::optional<NetworkPath> fresh = actions_->ReadPath(server_, path_.local_address);
    if (fresh && WaitIfOffline(fresh, now_ms)) return;
    Reconnect(now_ms);
    return;
  }
  const auto due = std::remove_if(resume_checks_ms_.begin(), resume_checks_ms_.end(),
                                  [now_ms](int64_t at) { return at <= now_ms; });
  const bool resume_due = due != resume_checks_ms_.end();
  resume_checks_ms_.erase(due, resume_checks_ms_.end());
  if (resume_due) {
    Recheck(RecheckReason::kResume, now_ms);
  } else if (now_ms >= next_periodic_ms_) {
    Recheck(RecheckReason::kPeriodic, now_ms);
  }
}

std::optional<int64_t> NetworkRecovery::next_due_ms() const {
  if (state_ == State::kIdle) return std::nullopt;
  int64_t next = next_periodic_ms_;
  if (next_retry_ms_) next = std::min(next, *next_retry_ms_);
  for (int64_t at : resume_checks_ms_) next = std::min(next, at);
  return next;
}

bool NetworkRecovery::WaitIfOffline(const std::optional<NetworkPath>& fresh, int64_t now_ms) {
  if (!Offline(*fresh)) return false;
  if (state_ != State::kWaiting) {
    actions_->WriteLine(fresh->ipv6_only ? "[host] network has no IPv4 route; waiting"
                                         : "[host] network unavailable; waiting");
    // The core and the bridge have nowhere to send; the tunnel stays wanted.
    actions_->Stop();
    state_ = State::kWaiting;
    next_retry_ms_.reset();
    failed_attempts_ = 0;
  }
  next_periodic_ms_ = std::min(next_periodic_ms_, now_ms + kOfflineRecheckMs);
  return true;
}

void NetworkRecovery::Reconnect(int64_t now_ms) {
  damped_wait_ = false;
  reconnecting_ = true;
  // A disconnect announced before this began ends the recovery instead.
  if (actions_->Cancelled()) {
    reconnecting_ = false;
    return;
  }
  const int64_t started = actions_->NowMs();
  RunPath run;
  std::string failure;
  const bool connected = actions_->Reconnect(&run, &failure);
  reconnecting_ = false;
  const int64_t spent = actions_->NowMs() - started;
  if (connected) {
    Remember(run, now_ms + spent);
    reconnected_ = true;
    actions_->WriteLine("[host] reconnected in " + std::to_string(spent) + " ms");
    return;
  }
  // A disconnect or exit cancelled it and is next: it ends the recovery.
  if (actions_->Cancelled()) return;
  ScheduleRetry(now_ms + spent, failure);
}

void NetworkRecovery::ScheduleRetry(int64_t now_ms, const std::string& failure) {
  const std::optional<NetworkPath> fresh = actions_->ReadPath(server_, path_.local_address);
  if (fresh && WaitIfOffline(fresh, now_ms)) return;
  const size_t last = sizeof(kRetrySeconds) / sizeof(kRetrySeconds[0]) - 1;
  const int delay = kRetrySeconds[std::min(failed_attempts_, last)];
  ++failed_attempts_;
  state_ = State::kRetrying;
  next_retry_ms_ = now_ms + int64_t{delay} * 1000;
  actions_->WriteLine("[host] reconnect failed -- " + failure + "; retrying in " +
                      std::to_string(delay) + " s");
}

}  // namespace duzavide
