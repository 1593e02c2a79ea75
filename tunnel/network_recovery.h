// NetworkRecovery keeps a wanted tunnel up across sleep, network switches and
// address changes: a policy of the tunnel controller, which owns it.
//
// The bridge's datagram socket is bound to the address detected at connect, and
// that address is the core's WireGuard peer; when the machine's address changes,
// every datagram goes nowhere while the core still runs. So after a connect the
// network path to the proxy server is remembered (network_path.h: the local
// address that reaches it and whether a default route exists, leaving out the
// tunnel's own interface), and every re-check compares a fresh reading with it:
// - nothing changed: nothing happens;
// - the address changed, or the bridge found its address unusable: the session
//   connects again with the kept request ("[host] network changed (<old> ->
//   <new>); reconnecting", then "[host] reconnected in <N> ms");
// - no default route: the core and the bridge are stopped and the tunnel waits,
//   without connect attempts, for a route to return ("[host] network unavailable;
//   waiting").
// A reconnect that fails is tried again after 1, 2, 4, 8, 15 and 30 s, then every
// 30 s ("[host] reconnect failed -- <reason>; retrying in <S> s"); offline it waits
// instead. Meanwhile the tunnel counts as connected, and the traffic figures go
// on from the first connect's baselines. A disconnect ends all of it.
//
// Re-checks come from the controller's event sources, from a periodic check every
// 3 s while the tunnel is wanted (every second while it waits for the network),
// and after a resume from sleep at once and at about +1, +3, +10 and +30 s (the
// network comes back in stages).
//
// Controller's thread only. Times are passed in, so tests can drive the clock.
#ifndef TUNNEL_NETWORK_NETWORK_RECOVERY_H_
#define TUNNEL_NETWORK_NETWORK_RECOVERY_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/connect_request.h"
#include "tunnel/network/network_path.h"
#include "tunnel/traffic_counters.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {

class NetworkRecovery {
 public:
  using Clock = std::chrono::steady_clock;
  // The network path to `server` now; nothing when the tables cannot be read.
  using PathReader = std::function<std::optional<NetworkPath>(uint32_t server)>;
  using LineWriter = std::function<void(const std::string& line)>;
  // True when the task in hand is being cancelled (a disconnect or exit waits).
  using CancelCheck = std::function<bool()>;

  NetworkRecovery(TunnelSession& session, PathReader read_path, LineWriter write_line,
                  CancelCheck cancelled);

  // A connect has just chosen its local address for `server`: the path is read
  // now, when it matches the bridge's address, and remembered if the connect
  // succeeds. A change while the rest of the connect runs is then found by the
  // re-check that follows the connect at once.
  void OnDetected(uint32_t server) { detected_path_ = read_path_(server); }

  // A connect brought the tunnel up with `request`: watch the network from `now`.
  void OnConnected(const ConnectRequest& request, Clock::time_point now);
  // A disconnect: nothing is watched or retried any more.
  void OnDisconnected();

  // Why a re-check runs: a bridge that could not send from its address makes the
  // re-check reconnect even when the path looks the same.
  enum class RecheckReason { kNetworkEvent, kPeriodic, kResume, kBridgeTrouble };

  // Compares the network with the remembered path and acts on a change.
  void Recheck(RecheckReason reason, Clock::time_point now);
  // The machine resumed from sleep: a re-check now and a few more while the
  // network comes back.
  void OnResume(Clock::time_point now);
  // Runs whatever is due at `now` (a retry, a periodic or post-resume re-check).
  void RunDue(Clock::time_point now);
  // When the next work is due; nothing while the tunnel is not wanted.
  std::optional<Clock::time_point> next_due() const;

  // Wanted but not running for now: waiting for the network or between attempts.
  bool recovering() const { return state_ == State::kWaiting || state_ == State::kRetrying; }
  // A reconnect is in hand (a disconnect then cancels it). Any thread.
  bool reconnecting() const { return reconnecting_.load(); }

  // The traffic figures while the tunnel is wanted: from the first connect's
  // baselines, also while it waits or retries.
  TrafficCounters ReadTrafficCounters();

 private:
  enum class State { kIdle, kConnected, kWaiting, kRetrying };

  // True (after starting to wait, once) when `fresh` has no way out.
  bool WaitIfOffline(const std::optional<NetworkPath>& fresh, Clock::time_point now);
  void Reconnect(Clock::time_point now);
  // After a connect or reconnect: the path read at its detection, or the
  // bridge's own address; a re-check is due at once.
  void Remember(Clock::time_point now);
  void ScheduleRetry(Clock::time_point now, Clock::duration spent);

  TunnelSession& session_;
  const PathReader read_path_;
  const LineWriter write_line_;
  const CancelCheck cancelled_;

  State state_ = State::kIdle;
  ConnectRequest request_;
  uint32_t server_ = 0;
  NetworkPath path_;                          // at the last connect, or of the last attempt
  std::optional<NetworkPath> detected_path_;  // of the connect in hand
  OctetBaselines baselines_;                  // the first connect's
  std::atomic<bool> reconnecting_{false};
  size_t failed_attempts_ = 0;
  std::optional<Clock::time_point> next_retry_;
  Clock::time_point next_periodic_{};
  std::vector<Clock::time_point> resume_checks_;
};

}  // namespace duzavide

#endif  // TUNNEL_NETWORK_NETWORK_RECOVERY_H_
