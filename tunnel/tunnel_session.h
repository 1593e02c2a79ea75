// TunnelSession is one run of the proxy core at a time: it carries out Connect
// and Disconnect for the tunnel controller, which owns it and decides everything
// that outlasts a run (whether the tunnel is wanted, the user's proxy setting,
// the machine-wide tunnel lock, the figures across reconnects).
//
// It owns everything one run consists of: the proxy core process with its output
// pipe, job and reader thread, the session log, the traffic-counter baselines
// taken at the core's launch and the WireGuard TCP bridge. Connect brings a run
// up (blocking for at least 1.3 s), Disconnect tears it down, IsConnected follows
// the real process.
//
// Threads: every public operation runs on one thread (the tunnel controller's)
// and never concurrently with another. The core output reader thread appends to
// the log, and at the end of the core's output may stop the bridge and call both
// observers. The bridge's relay thread calls the line observer. Observers are
// called without any lock; set them before Connect.
//
// The core-running flag is changed only by atomic exchange; whoever turns it from
// true to false (reader thread, IsConnected, or Connect's survival check) does the
// end-of-core work exactly once. Disconnect clears it before terminating the core,
// so a stop on request never reports an unexpected exit.
//
// Each launch is a run with its own token. A reader thread acts only for its own
// run, and holds its own share of everything it touches (the pipe end, the log,
// the observers, the bridge): one that outlives Disconnect's bounded waits can
// neither clear a later run's flag nor stop a later run's bridge, and never
// touches a session that has been destroyed.
//
// Every failed step of Connect sends one status line naming the step and the
// reason, besides the fixed lines of the steps that have one.
#ifndef TUNNEL_TUNNEL_SESSION_H_
#define TUNNEL_TUNNEL_SESSION_H_

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/run_token.h"
#include "base/win_handles.h"
#include "bridge/interface_detection.h"
#include "bridge/wireguard_tcp_bridge.h"
#include "config/connect_request.h"
#include "tunnel/core/core_process.h"
#include "tunnel/data_folder/folder_verification.h"
#include "tunnel/session_log.h"
#include "tunnel/session_observers.h"
#include "tunnel/traffic_counters.h"
#include "tunnel/tunnel_operations.h"

namespace duzavide {

class TunnelSession final : public TunnelOperations {
 public:
  using StoppedObserver = SessionObservers::StoppedObserver;

  // Starts Windows Sockets 2.2.
  TunnelSession();
  // Disconnects, then stops Windows Sockets.
  ~TunnelSession() override;
  TunnelSession(const TunnelSession&) = delete;
  TunnelSession& operator=(const TunnelSession&) = delete;

  // True when the core runs, already or newly (then after its first second).
  // While connected the request is not looked at. Every failure returns false
  // with everything it set up undone.
  bool Connect(const ConnectRequest& request) override;

  // Terminates the core, stops the bridge and closes everything. Safe to repeat;
  // an idle session has nothing to do.
  void Disconnect() override;

  // Whether the core still runs. Finding it ended stops the bridge and calls the
  // stopped observer (once); its handles stay held until Disconnect or Connect.
  bool IsConnected() override;

  // Adds one line of the host's own to the log, between the core's lines.
  void AddLogLine(const std::string& line);

  // The core's output since the last call, as UTF-8; the log is left empty.
  std::string TakeLog() override;

  // Growth of the interface byte counters since the core was started; 0 and 0
  // when the core is not running.
  TrafficCounters ReadTrafficCounters() override;

  // The core-running flag as it stands: no exit-code check and no side effect.
  bool core_running() const { return core_run_.active(); }

  // The proxy server's IPv4 address (host byte order) that the last successful
  // Connect found its route to, and the local address the bridge was bound to;
  // 0 and "" before any.
  uint32_t server_ipv4() const { return server_ipv4_; }
  const std::string& local_address() const { return local_address_; }

  // The step and reason of the last failed Connect ("" after a success), for a
  // line that reports it elsewhere.
  const std::string& last_failure() const { return last_failure_; }

  // A manual-reset event that, once set, cuts Connect's waits short (the bridge's
  // 300 ms and the core's first second): the connect then fails at once. Not
  // owned; it must outlive the session. Set before Connect.
  void SetCancelEvent(HANDLE cancel);
  // A manual-reset event that, once set, cuts the server's name lookup short (a
  // resolver can hang for many seconds): the connect then fails at once. Not
  // owned; it must outlive the session.
  void SetLookupCancelEvent(HANDLE cancel) { lookup_cancel_ = cancel; }
  // Finds the local address that reaches the proxy host and the host's address,
  // returning as soon as the cancel event it is given is set
  // (bridge/interface_detection.h: DetectActiveIPv4Address, the default).
  using AddressDetector = std::function<std::string(const std::string& host, std::string* failure,
                                                    uint32_t* server, HANDLE cancel)>;
  void SetAddressDetector(AddressDetector detector) { detect_address_ = std::move(detector); }

  // Receives the status lines and the core's output lines.
  void SetLineObserver(LineSink observer) { observers_->line = std::move(observer); }
  // Called once when the core is found to have ended on its own.
  void SetStoppedObserver(StoppedObserver observer) { observers_->stopped = std::move(observer); }
  // The proxy server's address (host byte order) for the Connects that follow,
  // instead of looking its name up; 0 looks it up.
  void UseKnownServer(uint32_t server) { known_server_ = server; }

  // Called by Connect, on its own thread, right after the system's route lookup
  // has chosen `detected`, the local address that reaches the proxy server
  // (`server`, host byte order); answers the address the bridge binds instead.
  using AddressChooser = std::function<std::string(uint32_t server, const std::string& detected)>;
  void SetAddressChooser(AddressChooser chooser) { address_chooser_ = std::move(chooser); }
  // Called by Connect, on its own thread, with the core's path right before the
  // core is started; false (with a reason) fails the connect at "the leak
  // protection" step, and nothing starts.
  using LaunchGate = std::function<bool(const std::wstring& core_path, std::string* failure)>;
  void SetLaunchGate(LaunchGate gate) { launch_gate_ = std::move(gate); }
  // The exit code of the core that ended, as text ("3"); "" while it runs or when
  // none is held or it cannot be read.
  std::string CoreExitCodeText() const;
  // Called on the relay thread when the bridge's sends fail because its address
  // no longer works.
  void SetAddressTroubleObserver(std::function<void()> observer) {
    observers_->address_trouble = std::move(observer);
  }
  // Called on the relay thread when the relay stopped answering.
  void SetRelaySilenceObserver(std::function<void()> observer) {
    observers_->relay_silence = std::move(observer);
  }

 private:
  // Sends "<subsystem> connect failed at the <step> -- <reason>" and returns false.
  bool Fail(const char* subsystem, const char* step, const std::string& reason);
  // Starts the reader thread for the pipe end `read_end` and the run `core`.
  bool StartReader(UniqueHandle read_end, const RunToken& core);
  // The check after the core's first second (or its end within it); true when
  // it still runs. A core that ended while another program holds `core_port`
  // fails at the loopback port, naming it. On false the session is idle again.
  bool CoreSurvived(const RunToken& core, uint16_t core_port);
  // Waits `ms`, or until the cancel event is set or `ends_early` (if given) is
  // signalled; true when cancelled.
  bool CancelledWithin(DWORD ms, HANDLE ends_early = nullptr) const;
  // End-of-core work of the party that cleared the core-running flag.
  void OnCoreEnded();
  void SendLine(const std::string& line) { observers_->SendLine(line); }
  // False when no process is held or its exit code cannot be read.
  bool ReadCoreExitCode(DWORD* exit_code) const;

  // Shared with the reader and relay threads (see the header comment).
  const std::shared_ptr<SessionObservers> observers_;
  const std::shared_ptr<SessionLog> log_;
  const std::shared_ptr<WireGuardTcpBridge> bridge_;

  CoreProcess core_;
  // The pipe's read end, shared with the reader thread: closed when both have
  // let go, so a reader given up on never reads from a closed handle value.
  std::shared_ptr<UniqueHandle> pipe_read_;
  UniqueHandle pipe_write_;
  UniqueHandle reader_thread_;
  // The core-running flag, as the run whose core runs.
  RunFlag core_run_;
  // The run whose reader may still feed the log and the line observer; ended
  // once Disconnect has given up on it.
  RunFlag reader_run_;
  // The data folder the last Connect verified, held open until the next one
  // verifies it again or the session ends.
  VerifiedFolder data_folder_;
  // The folder last said to be unprotectable, so that it is said once.
  std::wstring unprotected_folder_said_;
  TrafficTally tally_;              // from the running core's launch
  HANDLE cancel_ = nullptr;         // not owned
  HANDLE lookup_cancel_ = nullptr;  // not owned
  uint32_t server_ipv4_ = 0;
  std::string local_address_;
  std::string last_failure_;
  AddressChooser address_chooser_;
  AddressDetector detect_address_ = &DetectActiveIPv4Address;
  uint32_t known_server_ = 0;
  LaunchGate launch_gate_;
};

}  // namespace duzavide

#endif  // TUNNEL_TUNNEL_SESSION_H_
