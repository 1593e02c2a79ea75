// TunnelController owns the process's TunnelSession and the thread it runs on, so
// that the window's thread never waits for tunnel work (a connect takes at least
// 1.3 s, a disconnect up to 12 s). It is the only thing that starts work on the
// session: the control channel's calls and the tray's commands become tasks here,
// and the policies that act on the session by themselves live here too.
//
// The tunnel is wanted from a connect that brings it up until a disconnect, an
// exit, or the end of its core on its own. The controller alone decides what
// lasts that long: the request (network recovery, network_recovery.h, runs it
// again when the network changes under the tunnel), the user's proxy setting
// switched to direct access (saved and switched at the first connect, given back
// when the tunnel is no longer wanted, never per core run), the machine-wide
// tunnel lock (one tunnel per machine), the leak protection (in place before the
// first core starts, let through the tunnel's interface once it exists, kept
// through every reconnect and recovery wait), the traffic baselines (the first
// run's, kept across reconnects), and whether the interface hears "connected":
// while the tunnel is wanted and its core runs or a recovery is in hand.
//
// Threads:
// - The platform thread (the one that created the controller) calls every public
//   operation. Each call or command becomes a task that runs later on the
//   controller's thread, one at a time, in the order posted. A task's answer is a
//   completion, which the controller queues and announces through the notifier;
//   the platform thread then runs the completions, in task order, with
//   RunCompletions.
// - A reply handler runs on the platform thread from RunCompletions and may use
//   the window and the engine. It is destroyed unrun (on either thread) when the
//   platform thread never collects it, so it must not own anything whose
//   destruction touches the engine.
// - The notifier is called on the controller's thread; it must be thread-safe (a
//   PostMessageW to the window, for example) and must not block.
// - The session's status lines and the core's output go to the process's line
//   sink (base/line_sink.h), from the controller's, reader and relay threads.
//
// Connection state: connected() is what the interface hears, as it stood after
// the last task; it is cleared at once when the core is found to have ended. Any
// thread, never waits (a connect in flight shows as not connected).
//
// Network recovery: between tasks the thread waits for the next task, for the
// system's network events (network_events.h), for a bridge that could not send
// from its address, and for the recovery's next due work; each of them runs a
// re-check; a core that ended on its own wakes it too. A disconnect (the
// channel's or the tray's) cancels a reconnect in hand at once; the disconnect
// itself then ends the recovery.
//
// Shutdown: Shutdown() drops the tasks not yet started, cancels the one in hand
// (a connect in flight fails at its next wait), then disconnects the session; it
// returns at once, and nothing posted later runs. The destructor (or
// ShutdownAndWait) waits for that final disconnect (the session bounds its
// waits), so the core is gone before the controller is; when no thread ever ran,
// it disconnects on the calling thread instead. At the end of the Windows session
// there is no time for that: ShutdownForSessionEnd waits only as long as it is
// given.
#ifndef TUNNEL_TUNNEL_CONTROLLER_H_
#define TUNNEL_TUNNEL_CONTROLLER_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/lock.h"
#include "base/win_handles.h"
#include "channel/method_call.h"
#include "config/connect_request.h"
#include "tunnel/control_channel.h"
#include "tunnel/leak_protection/filtering_platform.h"
#include "tunnel/leak_protection/leak_protection.h"
#include "tunnel/leak_protection/leak_protection_plan.h"
#include "tunnel/machine_tunnel_lock.h"
#include "tunnel/network/network_events.h"
#include "tunnel/network/network_path.h"
#include "tunnel/network/network_recovery.h"
#include "tunnel/proxy_setting/proxy_platform.h"
#include "tunnel/proxy_setting/proxy_work.h"
#include "tunnel/traffic_counters.h"
#include "tunnel/tunnel_operations.h"
#include "tunnel/tunnel_session.h"

namespace duzavide {

class TunnelController : private TunnelOperations, private RecoveryActions {
 public:
  using Notifier = std::function<void()>;
  // Receives a call's answer on the platform thread.
  using ReplyHandler = std::function<void(const ControlChannelReply& reply)>;

  // What the controller reads and changes outside the core run, replaceable in
  // tests.
  using PathReader =
      std::function<std::optional<NetworkPath>(uint32_t server, const std::string& in_use)>;
  struct Seams {
    // The network path to the proxy server (host byte order), the tunnel using
    // `in_use`; by default from the system's tables, with the tunnel's own
    // interfaces left out.
    PathReader read_path;
    // The user's proxy setting; by default the real one of the person signed in
    // to this session. Not owned; it must outlive the controller.
    ProxyPlatform* proxy_platform = nullptr;
    // The filtering engine; by default the system's. Not owned; it must outlive
    // the controller.
    FilteringPlatform* filtering = nullptr;
    // The tunnel's interface (LUID) once the core has made it; by default looked
    // up by its name, "DuzavideTun".
    std::function<std::optional<uint64_t>()> tunnel_interface;
    // Where the machine-wide lock's mutex is made; by default the private
    // namespace (machine_tunnel_lock.h).
    MachineLockPlacer lock_place;
    // How the proxy host's name is looked up and the local address found; by
    // default the system's resolver and route lookup.
    TunnelSession::AddressDetector detect_address;
  };

  TunnelController();
  explicit TunnelController(Seams seams);
  ~TunnelController() override;
  TunnelController(const TunnelController&) = delete;
  TunnelController& operator=(const TunnelController&) = delete;

  // Called after each completion is queued; empty stops the announcements (the
  // completions stay queued).
  void SetNotifier(Notifier notifier);

  // Starts the controller's thread ahead of the first task, so that the first call
  // does not pay for it. Optional.
  void Start();

  // Runs `call` on the control channel's terms (control_channel.h) on the
  // controller's thread; `on_reply` then gets the answer. False after Shutdown:
  // the call is dropped and `on_reply` never runs.
  bool PostCall(const MethodCall& call, ReplyHandler on_reply);

  // The tray's "disconnect": as the channel's, without an answer.
  bool PostDisconnect();

  // The machine resumed from sleep: the network is checked again, now and a few
  // times while it comes back.
  bool PostResume();

  // Runs the queued completions in order.
  void RunCompletions();

  bool connected() const { return connected_->load(); }

  // See the header comment. Safe to repeat.
  void Shutdown();
  // Shutdown, then waits until the controller's thread has disconnected and ended.
  void ShutdownAndWait();

  // The end of the Windows session: the process is ended soon after the caller
  // returns, without further notice. Stops announcing (the notifier is dropped,
  // so no answer is announced any more), shuts down, switches the system proxy
  // setting back on the calling thread (the final disconnect may not get to it in
  // time), then gives the controller's thread up to `budget_ms` to finish that
  // disconnect. True when it did; otherwise the core, held in a job that ends with
  // the process, goes with it. The destructor still waits for the thread.
  bool ShutdownForSessionEnd(DWORD budget_ms);

 private:
  using Completion = std::function<void()>;
  // Runs on the controller's thread; returns what to run on the platform thread
  // afterwards (may be empty).
  using Task = std::function<Completion()>;

  // TunnelOperations, as the control channel sees the tunnel. Controller's
  // thread only.
  bool Connect(const ConnectRequest& request) override;
  void Disconnect() override;
  bool IsConnected() override;
  std::string TakeLog() override;
  TrafficCounters ReadTrafficCounters() override;

  // RecoveryActions, as the recovery acts on the tunnel. Controller's thread.
  bool Reconnect(RunPath* run, std::string* failure) override;
  void Stop() override;
  std::optional<NetworkPath> ReadPath(uint32_t server, const std::string& in_use) override;
  int64_t NowMs() override;
  // Whether the task in hand is to end early: a disconnect or exit waits.
  bool Cancelled() override;
  void WriteLine(const std::string& line) override;

  // The tunnel is wanted and its core runs or a recovery is in hand: what the
  // interface hears as "connected".
  bool TunnelUp() const;
  // Takes the machine-wide lock, switches the proxy setting and brings the first
  // core run up; on failure everything is given back.
  bool StartTunnel(const ConnectRequest& request);
  // The tunnel is no longer wanted: the recovery ends, the proxy setting is given
  // back (also when nothing ran), the core run stops and the lock is let go.
  void EndTunnel();
  // The session's reader found the core ended on its own.
  void OnCoreEnded();
  // The run the session has up now, as the recovery remembers it.
  RunPath CurrentRun() const;
  // The session's gate before a core starts: the figures start counting (first
  // core of the tunnel only) and the leak protection for `core_path` is in place
  // (said once per tunnel: on, or unavailable and why).
  bool BeforeCoreLaunch(const std::wstring& core_path, std::string* failure);
  // Lets the tunnel's interface through once it exists, or anew when the core
  // made another.
  void ProtectTunnelInterface();

  // Queues `task`; starts the thread if need be. False (the task is dropped)
  // after Shutdown.
  bool Post(Task task);
  // Queues a task that disconnects; a reconnect in hand is cancelled.
  bool PostDisconnectTask(Task task);
  // Waits for a task, a network event or the recovery's next due work, and runs
  // the latter two. Returns once a task may be waiting.
  void WaitAndRecover();
  // Under lock_.
  void StartThreadLocked();
  // After Shutdown: waits up to `timeout_ms` for the thread's final disconnect (or,
  // when no thread ever ran, disconnects here). True when that is done.
  bool FinishShutdown(DWORD timeout_ms);
  void Run();
  // After each task: what the session's flag says. A core that ends meanwhile
  // is never left published as running (see the .cpp).
  void PublishState();

  // Shared with the session's stopped observer, which the reader thread calls.
  const std::shared_ptr<std::atomic<bool>> connected_;
  // Manual-reset: the task in hand is to end early. Outlives the session, which
  // waits on it.
  UniqueHandle cancel_;
  // Manual-reset: a disconnect is waiting, so a connect's name lookup ends now. Set
  // by every disconnect (a user's connect included: its lookup may hang for as
  // long as the resolver likes); kept set while a disconnect is pending.
  UniqueHandle lookup_cancel_;
  // Set from system threads (the network changed), from the relay thread (the
  // bridge could not send from its address) and from the reader thread (the core
  // ended on its own). Shared with those threads, which may outlive the session
  // by a little.
  struct NetworkSignal {
    UniqueHandle event;  // auto-reset
    std::atomic<bool> bridge_trouble{false};
    std::atomic<bool> core_ended{false};
    // The relay stopped answering; kept until a reconnect succeeds, so that a
    // resume after a silent sleep reconnects at once.
    std::atomic<bool> relay_silent{false};
    std::atomic<bool> relay_silence_news{false};
  };
  const std::shared_ptr<NetworkSignal> network_signal_;
  const PathReader read_path_;
  // On the seam's platform when one is given.
  const std::unique_ptr<ProxyWork> own_proxy_work_;
  ProxyWork& proxy_work_;
  TunnelSession session_;
  // Controller's thread only, but for reconnecting().
  NetworkRecovery recovery_;

  // What lasts while the tunnel is wanted. Controller's thread only.
  bool wanted_ = false;
  ConnectRequest request_;  // the connect that brought it up
  TrafficTally tally_;      // from the first core's launch
  MachineTunnelLock tunnel_lock_;
  // The path read when the run in hand chose its address.
  std::optional<NetworkPath> detected_path_;
  std::unique_ptr<FilteringPlatform> own_filtering_;  // when no seam was given
  const std::function<std::optional<uint64_t>()> tunnel_interface_;
  LeakProtection leak_protection_;
  LeakProtectionInputs leak_inputs_;  // what is in place

  NetworkEvents network_events_;  // controller's thread only
  // A disconnect is queued or running; cleared when it has run.
  std::atomic<bool> disconnect_pending_{false};

  Lock lock_;
  UniqueHandle wake_;            // auto-reset: a task was posted, or stop
  std::deque<Task> tasks_;       // guarded by lock_
  std::deque<Completion> done_;  // guarded by lock_
  Notifier notifier_;            // guarded by lock_
  bool stopping_ = false;        // guarded by lock_

  UniqueHandle thread_;  // started by Start or the first Post
  // Set when the thread starts, or when ShutdownAndWait disconnects without one.
  bool thread_started_ = false;  // guarded by lock_
};

}  // namespace duzavide

#endif  // TUNNEL_TUNNEL_CONTROLLER_H_
