// NetworkRecovery keeps a wanted tunnel up across sleep, network switches and
// address changes: a policy of the tunnel controller, which owns it and acts for
// it (RecoveryActions).
//
// The bridge's datagram socket is bound to the address chosen at connect, and
// that address is the core's WireGuard peer; when the machine's address changes,
// every datagram goes nowhere while the core still runs. So after a connect the
// network path to the proxy server is remembered (network_path.h: the local
// address that reaches it and whether a default route exists, leaving out the
// tunnel's own interface), and every re-check compares a fresh reading with it:
// - nothing changed: nothing happens;
// - the address changed, or the bridge found its address unusable: the core run
//   is replaced by a new one ("[host] network changed (<old> -> <new>);
//   reconnecting", then "[host] reconnected in <N> ms");
// - no default route: the core run is stopped and the tunnel waits, without
//   connect attempts, for a route to return ("[host] network unavailable;
//   waiting", or on a network with IPv6 alone "[host] network has no IPv4 route;
//   waiting"). A path that cannot be read is no change: the next re-check reads
//   it again.
// A reconnect that fails is tried again after 1, 2, 4, 8, 15 and 30 s, then every
// 30 s ("[host] reconnect failed -- <step>: <reason>; retrying in <S> s"); offline
// it waits instead. Flapping is damped: a metric tie keeps the path in use; a
// better path while the address in use still reaches the server must hold for
// 5 s; and a reconnect that comes before the last one has lasted a minute waits
// the same backoff first ("...; reconnecting in <S> s"). A core that ends on its own is recovered
// the same way, until it has ended five times within ten minutes: then the recovery gives up and
// the tunnel ends. A disconnect ends all of it.
//
// Re-checks come from the controller's event sources, from a periodic check every
// 3 s while the tunnel is wanted (every second while it waits for the network),
// and after a resume from sleep at once and at about +1, +3, +10 and +30 s (the
// network comes back in stages).
//
// Controller's thread only, but reconnecting(). Times are milliseconds of the
// actions' steady clock, passed in, so that tests drive the clock.
#ifndef TUNNEL_NETWORK_NETWORK_RECOVERY_H_
#define TUNNEL_NETWORK_NETWORK_RECOVERY_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tunnel/network/network_path.h"

namespace duzavide {

// Where a core run reaches the proxy server.
struct RunPath {
  uint32_t server = 0;        // the server's IPv4 address, host byte order
  std::string local_address;  // the address the bridge was bound to
  // The path read when that address was chosen; nothing when the tables could
  // not be read (the bridge's address then stands for the path).
  std::optional<NetworkPath> detected;
};

// What the recovery needs of the tunnel and the system. Controller's thread.
class RecoveryActions {
 public:
  virtual ~RecoveryActions() = default;
  // Replaces the core run (if any) by a new one with the tunnel's request. True
  // when the new core runs, with `run` filled; otherwise `failure` says
  // "<step>: <reason>".
  virtual bool Reconnect(RunPath* run, std::string* failure) = 0;
  // Stops the core run; the tunnel stays wanted.
  virtual void Stop() = 0;
  // The network path to `server` now, `in_use` being the address the tunnel uses
  // (network_path.h); nothing when the tables cannot be read.
  virtual std::optional<NetworkPath> ReadPath(uint32_t server, const std::string& in_use) = 0;
  // A steady clock, in milliseconds.
  virtual int64_t NowMs() = 0;
  // True when a disconnect or exit waits: a reconnect is then not started, and
  // one that failed is not retried.
  virtual bool Cancelled() = 0;
  virtual void WriteLine(const std::string& line) = 0;
};

class NetworkRecovery {
 public:
  // `actions` is not owned and must outlive the recovery.
  explicit NetworkRecovery(RecoveryActions* actions) : actions_(actions) {}

  // A connect brought the tunnel up with `run`: watch the network from `now_ms`.
  void OnConnected(const RunPath& run, int64_t now_ms);
  // The tunnel is no longer wanted: nothing is watched or retried any more.
  void OnDisconnected();

  // Why a re-check runs: a bridge that could not send from its address, and a
  // relay that stopped answering ("[host] no answer through the tunnel;
  // reconnecting"), make the re-check reconnect even when the path looks the same.
  enum class RecheckReason { kNetworkEvent, kPeriodic, kResume, kBridgeTrouble, kRelaySilent };

  // Compares the network with the remembered path and acts on a change.
  void Recheck(RecheckReason reason, int64_t now_ms);
  // The machine resumed from sleep: a re-check now and a few more while the
  // network comes back; at once a reconnect when the relay was silent before.
  void OnResume(int64_t now_ms, bool relay_was_silent = false);
  // Runs whatever is due at `now_ms` (a retry, a periodic or post-resume re-check).
  void RunDue(int64_t now_ms);
  // The running core ended on its own with `exit_code` (as text). Like a network
  // change, a new run is started at once, with the same backoff ("[host] the
  // core ended on its own (exit code <N>); reconnecting"). True while the tunnel
  // stays wanted (also for an end between runs, which changes nothing); false
  // when the core has ended five times within ten minutes: the recovery gives up
  // ("[host] the core ended 5 times within 10 minutes -- giving up; its last
  // exit code was <N>") and the tunnel ends.
  bool OnCoreEnded(const std::string& exit_code, int64_t now_ms);
  // When the next work is due; nothing while the tunnel is not wanted.
  std::optional<int64_t> next_due_ms() const;

  // Wanted but not running for now: waiting for the network or between attempts.
  bool recovering() const { return state_ == State::kWaiting || state_ == State::kRetrying; }
  // A reconnect is in hand (a disconnect then cancels it). Any thread.
  bool reconnecting() const { return reconnecting_.load(); }

 private:
  enum class State { kIdle, kConnected, kWaiting, kRetrying };

  // True (after starting to wait, once) when `fresh` has no way out.
  bool WaitIfOffline(const std::optional<NetworkPath>& fresh, int64_t now_ms);
  void Reconnect(int64_t now_ms);
  // After a connect or reconnect: the path read when its address was chosen, or
  // the bridge's own address; a re-check is due at once.
  void Remember(const RunPath& run, int64_t now_ms);
  void ScheduleRetry(int64_t now_ms, const std::string& failure);
  // A reconnect from a running tunnel, said with `why`: at once, or when the
  // last one did not last, after the backoff ("<why>; reconnecting in <S> s").
  void ReconnectDamped(const NetworkPath& fresh, const std::string& why, int64_t now_ms);

  RecoveryActions* const actions_;

  State state_ = State::kIdle;
  uint32_t server_ = 0;
  NetworkPath path_;  // at the last connect, or of the last attempt
  std::atomic<bool> reconnecting_{false};
  size_t failed_attempts_ = 0;
  std::optional<int64_t> next_retry_ms_;
  int64_t next_periodic_ms_ = 0;
  std::vector<int64_t> resume_checks_ms_;
  std::vector<int64_t> core_ends_ms_;  // within the last ten minutes
  bool reconnected_ = false;           // the run in hand came from a reconnect
  int64_t connected_at_ms_ = 0;        // when it came up
  size_t quick_reconnects_ = 0;        // in a row, each before the last one lasted
  bool damped_wait_ = false;           // the retry due is a reconnect's backoff
  std::string candidate_;              // a better path seen while ours works
  int64_t candidate_since_ms_ = 0;
};

}  // namespace duzavide

#endif  // TUNNEL_NETWORK_NETWORK_RECOVERY_H_
