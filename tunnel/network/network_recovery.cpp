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

bool Offline(const NetworkPath& path) {
  return !path.has_default_route || path.local_address.empty();
}

}  // namespace

void NetworkRecovery::OnConnected(const RunPath& run, int64_t now_ms) {
  resume_checks_ms_.clear();
  core_ends_ms_.clear();
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
  const std::optional<NetworkPath> fresh = actions_->ReadPath(server_);
  if (!fresh || WaitIfOffline(fresh, now_ms)) return;
  const bool changed = fresh->local_address != path_.local_address;
  switch (state_) {
    case State::kConnected:
      if (!changed && reason != RecheckReason::kBridgeTrouble) return;
      break;
    case State::kRetrying:
      // The retry comes when it is due; only a new address is worth trying at once.
      if (!changed) return;
      break;
    case State::kWaiting:  // a way out is back
    case State::kIdle:
      break;
  }
  actions_->WriteLine("[host] network changed (" + path_.local_address + " -> " +
                      fresh->local_address + "); reconnecting");
  // What a retry compares with: the path this attempt was made for.
  path_ = *fresh;
  Reconnect(now_ms);
}

void NetworkRecovery::OnResume(int64_t now_ms) {
  if (state_ == State::kIdle) return;
  resume_checks_ms_.clear();
  for (int64_t delay : kResumeRechecksMs) resume_checks_ms_.push_back(now_ms + delay);
  Recheck(RecheckReason::kResume, now_ms);
}

void NetworkRecovery::RunDue(int64_t now_ms) {
  if (state_ == State::kIdle) return;
  if (next_retry_ms_ && now_ms >= *next_retry_ms_) {
    next_retry_ms_.reset();
    const std::optional<NetworkPath> fresh = actions_->ReadPath(server_);
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
    actions_->WriteLine("[host] network unavailable; waiting");
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
    actions_->WriteLine("[host] reconnected in " + std::to_string(spent) + " ms");
    return;
  }
  // A disconnect or exit cancelled it and is next: it ends the recovery.
  if (actions_->Cancelled()) return;
  ScheduleRetry(now_ms + spent, failure);
}

void NetworkRecovery::ScheduleRetry(int64_t now_ms, const std::string& failure) {
  const std::optional<NetworkPath> fresh = actions_->ReadPath(server_);
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
