#include "tunnel/network_recovery.h"

#include <algorithm>
#include <utility>

namespace duzavide {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kPeriodicRecheck{3};
// Offline, the route table is read more often: it is cheap, and some systems say
// nothing when a route returns.
constexpr seconds kOfflineRecheck{1};
// Waits before the next attempt after each failed one; the last repeats.
constexpr int kRetrySeconds[] = {1, 2, 4, 8, 15, 30};
constexpr milliseconds kResumeRechecks[] = {milliseconds(1000), milliseconds(3000),
                                            milliseconds(10000), milliseconds(30000)};

bool Offline(const NetworkPath& path) {
  return !path.has_default_route || path.local_address.empty();
}

}  // namespace

NetworkRecovery::NetworkRecovery(TunnelSession& session, PathReader read_path,
                                 LineWriter write_line, CancelCheck cancelled)
    : session_(session),
      read_path_(std::move(read_path)),
      write_line_(std::move(write_line)),
      cancelled_(std::move(cancelled)) {}

void NetworkRecovery::OnConnected(const ConnectRequest& request, Clock::time_point now) {
  request_ = request;
  baselines_ = session_.baselines();
  resume_checks_.clear();
  Remember(now);
}

void NetworkRecovery::Remember(Clock::time_point now) {
  server_ = session_.server_ipv4();
  // Without the tables the bridge's own address stands for the path.
  path_ = detected_path_.value_or(NetworkPath{true, session_.local_address()});
  detected_path_.reset();
  state_ = State::kConnected;
  failed_attempts_ = 0;
  next_retry_.reset();
  next_periodic_ = now;
}

void NetworkRecovery::OnDisconnected() {
  state_ = State::kIdle;
  next_retry_.reset();
  resume_checks_.clear();
}

void NetworkRecovery::Recheck(RecheckReason reason, Clock::time_point now) {
  if (state_ == State::kIdle) return;
  next_periodic_ = now + (state_ == State::kWaiting ? kOfflineRecheck : kPeriodicRecheck);
  // A core that ended on its own is the interface's to see, not a network change.
  if (state_ == State::kConnected && !session_.core_running()) {
    OnDisconnected();
    return;
  }
  const std::optional<NetworkPath> fresh = read_path_(server_);
  if (!fresh || WaitIfOffline(fresh, now)) return;
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
  write_line_("[host] network changed (" + path_.local_address + " -> " + fresh->local_address +
              "); reconnecting");
  // What a retry compares with: the path this attempt was made for.
  path_ = *fresh;
  Reconnect(now);
}

void NetworkRecovery::OnResume(Clock::time_point now) {
  if (state_ == State::kIdle) return;
  resume_checks_.clear();
  for (milliseconds delay : kResumeRechecks) resume_checks_.push_back(now + delay);
  Recheck(RecheckReason::kResume, now);
}

void NetworkRecovery::RunDue(Clock::time_point now) {
  if (state_ == State::kIdle) return;
  if (next_retry_ && now >= *next_retry_) {
    next_retry_.reset();
    const std::optional<NetworkPath> fresh = read_path_(server_);
    if (fresh && WaitIfOffline(fresh, now)) return;
    Reconnect(now);
    return;
  }
  const auto due = std::remove_if(resume_checks_.begin(), resume_checks_.end(),
                                  [now](Clock::time_point at) { return at <= now; });
  const bool resume_due = due != resume_checks_.end();
  resume_checks_.erase(due, resume_checks_.end());
  if (resume_due) {
    Recheck(RecheckReason::kResume, now);
  } else if (now >= next_periodic_) {
    Recheck(RecheckReason::kPeriodic, now);
  }
}

std::optional<NetworkRecovery::Clock::time_point> NetworkRecovery::next_due() const {
  if (state_ == State::kIdle) return std::nullopt;
  Clock::time_point next = next_periodic_;
  if (next_retry_) next = std::min(next, *next_retry_);
  for (Clock::time_point at : resume_checks_) next = std::min(next, at);
  return next;
}

TrafficCounters NetworkRecovery::ReadTrafficCounters() {
  if (!recovering()) return session_.ReadTrafficCounters();
  uint64_t received = 0;
  uint64_t sent = 0;
  if (!SumInterfaceOctets(&received, &sent)) return TrafficCounters();
  return TrafficSinceBaseline(received, sent, baselines_.received, baselines_.sent);
}

bool NetworkRecovery::WaitIfOffline(const std::optional<NetworkPath>& fresh,
                                    Clock::time_point now) {
  if (!Offline(*fresh)) return false;
  if (state_ != State::kWaiting) {
    write_line_("[host] network unavailable; waiting");
    // The core and the bridge have nowhere to send; the request stays.
    session_.Disconnect();
    state_ = State::kWaiting;
    next_retry_.reset();
    failed_attempts_ = 0;
  }
  next_periodic_ = std::min(next_periodic_, now + kOfflineRecheck);
  return true;
}

void NetworkRecovery::Reconnect(Clock::time_point now) {
  const Clock::time_point started = Clock::now();
  reconnecting_ = true;
  // A disconnect announced before this began ends the recovery instead.
  if (cancelled_()) {
    reconnecting_ = false;
    return;
  }
  // A running core would make Connect answer at once without a new bridge.
  session_.Disconnect();
  detected_path_.reset();
  const bool connected = session_.Connect(request_);
  reconnecting_ = false;
  const Clock::duration spent = Clock::now() - started;
  if (connected) {
    session_.set_baselines(baselines_);
    Remember(now + spent);
    write_line_("[host] reconnected in " +
                std::to_string(std::chrono::duration_cast<milliseconds>(spent).count()) + " ms");
    return;
  }
  // A disconnect or exit cancelled it and is next: it ends the recovery.
  if (cancelled_()) return;
  ScheduleRetry(now, spent);
}

void NetworkRecovery::ScheduleRetry(Clock::time_point now, Clock::duration spent) {
  const std::optional<NetworkPath> fresh = read_path_(server_);
  if (fresh && WaitIfOffline(fresh, now)) return;
  const size_t last = sizeof(kRetrySeconds) / sizeof(kRetrySeconds[0]) - 1;
  const int delay = kRetrySeconds[std::min(failed_attempts_, last)];
  ++failed_attempts_;
  state_ = State::kRetrying;
  next_retry_ = now + spent + seconds(delay);
  write_line_("[host] reconnect failed -- " + session_.last_failure() + "; retrying in " +
              std::to_string(delay) + " s");
}

}  // namespace duzavide
