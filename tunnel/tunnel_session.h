// TunnelSession is the process's single tunnel controller.
//
// It owns everything one connection consists of: the proxy core process with its
// output pipe, job and reader thread, the session log, the traffic-counter
// baselines and the WireGuard TCP bridge. Connect brings the tunnel up (blocking
// for at least 1.3 s), Disconnect tears it down, IsConnected follows the real
// process.
//
// Threads: every public operation runs on one thread (the shell's session thread)
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
// Each launch is a run with its own id. The flag holds the id of the running run,
// and a reader thread acts only for its own run: one that outlives Disconnect's
// bounded waits keeps its own share of the pipe end, and can neither clear a later
// run's flag nor stop a later run's bridge.
#ifndef TUNNEL_TUNNEL_SESSION_H_
#define TUNNEL_TUNNEL_SESSION_H_

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/win_handles.h"
#include "bridge/wireguard_tcp_bridge.h"
#include "config/connect_request.h"
#include "tunnel/core_process.h"
#include "tunnel/session_log.h"
#include "tunnel/traffic_counters.h"

namespace duzavide {

class TunnelSession {
 public:
  using LineObserver = std::function<void(const std::string& line)>;
  using StoppedObserver = std::function<void()>;

  // Starts Windows Sockets 2.2.
  TunnelSession();
  // Disconnects, then stops Windows Sockets.
  ~TunnelSession();
  TunnelSession(const TunnelSession&) = delete;
  TunnelSession& operator=(const TunnelSession&) = delete;

  // True when the core runs, already or newly (then after its first second).
  // While connected the request is not looked at. Every failure returns false
  // with everything it set up undone.
  bool Connect(const ConnectRequest& request);

  // Terminates the core, stops the bridge, closes everything and resets the
  // system proxy setting. Safe to repeat; on an idle session only the proxy reset.
  void Disconnect();

  // Whether the core still runs. Finding it ended stops the bridge and calls the
  // stopped observer (once); its handles stay held until Disconnect or Connect.
  bool IsConnected();

  // The core's output since the last call, as UTF-8; the log is left empty.
  std::string TakeLog();

  // The core-running flag as it stands: no exit-code check and no side effect.
  bool core_running() const { return core_running_.load() != 0; }

  // Growth of the interface byte counters since the core was started; 0 and 0
  // when the core is not running.
  TrafficCounters ReadTrafficCounters();

  // Receives the status lines and the core's output lines.
  void SetLineObserver(LineObserver observer) { line_observer_ = std::move(observer); }
  // Called once when the core is found to have ended on its own.
  void SetStoppedObserver(StoppedObserver observer) { stopped_observer_ = std::move(observer); }

 private:
  // What a reader thread is given: the session, its run and its pipe end.
  struct ReaderRun {
    TunnelSession* session;
    uint64_t run_id;
    std::shared_ptr<UniqueHandle> pipe;
  };
  // Takes ownership of `run` (a ReaderRun) and deletes it when done.
  static DWORD WINAPI CoreOutputReaderMain(void* run);
  // Body of the reader thread (core_output_reader.cpp): drains `pipe` for run
  // `run_id`.
  void ReadCoreOutput(HANDLE pipe, uint64_t run_id);
  // End-of-core work of the party that cleared the core-running flag.
  void OnCoreEnded();
  void SendLine(const std::string& line);
  // False when no process is held or its exit code cannot be read.
  bool ReadCoreExitCode(DWORD* exit_code) const;

  CoreProcess core_;
  // The pipe's read end, shared with the reader thread: closed when both have
  // let go, so a reader given up on never reads from a closed handle value.
  std::shared_ptr<UniqueHandle> pipe_read_;
  UniqueHandle pipe_write_;
  UniqueHandle reader_thread_;
  SessionLog log_;
  // Core-running flag: the id of the run whose core runs, 0 when none.
  std::atomic<uint64_t> core_running_{0};
  // The run whose reader may still feed the log and the line observer; 0 once
  // Disconnect has given up on it.
  std::atomic<uint64_t> reader_run_{0};
  uint64_t last_run_id_ = 0;  // main thread only
  WireGuardTcpBridge bridge_;
  uint64_t baseline_received_ = 0;
  uint64_t baseline_sent_ = 0;
  LineObserver line_observer_;
  StoppedObserver stopped_observer_;
};

}  // namespace duzavide

#endif  // TUNNEL_TUNNEL_SESSION_H_
