#include "tunnel/tunnel_session.h"

#include <memory>
#include <optional>
#include <utility>

#include "bridge/interface_detection.h"
#include "bridge/loopback_port.h"
#include "config/core_config_writer.h"
#include "tunnel/core_executable.h"
#include "tunnel/data_folder.h"
#include "tunnel/proxy_host.h"
#include "tunnel/system_proxy.h"

namespace duzavide {
namespace {

constexpr char kCoreNotFoundLine[] = "[xray] xray.exe not found -- check installation";
// Followed by the reason, e.g. "the file is owned by S-1-5-21-...".
constexpr char kCoreSkippedLine[] = "[xray] xray.exe in the data folder skipped -- ";
constexpr char kNoInterfaceLine[] = "[bridge] could not detect the active IPv4 interface";
constexpr char kStartedLine[] = "[xray] TUN and WireGuard transport started";
constexpr char kStoppedLine[] = "[xray] TUN and WireGuard transport stopped";

constexpr DWORD kSurvivalWaitMs = 1000;
constexpr DWORD kCoreExitWaitMs = 5000;
constexpr DWORD kReaderExitWaitMs = 3000;
// Extra time for the reader after its blocking read has been cancelled.
constexpr DWORD kReaderCancelWaitMs = 1000;

}  // namespace

TunnelSession::TunnelSession() : bridge_([this](const std::string& line) { SendLine(line); }) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

TunnelSession::~TunnelSession() {
  Disconnect();
  ::WSACleanup();
}

bool TunnelSession::Connect(const ConnectRequest& request) {
  if (core_running_.load() != 0) return true;
  // Leftovers of a core that ended on its own.
  if (core_.process || pipe_read_ || reader_thread_) Disconnect();

  std::wstring data_folder = DataFolder();
  CreateDataFolder(data_folder);
  ResetSystemProxy();

  CoreExecutable core_executable = LocateCoreExecutable(data_folder);
  if (!core_executable.skipped.empty()) {
    SendLine(std::string(kCoreSkippedLine) + core_executable.skipped);
  }
  if (core_executable.path.empty()) {
    SendLine(kCoreNotFoundLine);
    return false;
  }
  std::optional<std::string> host = ProxyHostFromShareLink(request.vlessUrl);
  if (!host) return false;
  std::string local_address = DetectActiveIPv4Address(*host);
  if (local_address.empty()) {
    SendLine(kNoInterfaceLine);
    return false;
  }
  std::optional<ReservedLoopbackPort> reserved = ReserveLoopbackTcpPort();
  if (!reserved) return false;
  uint16_t core_tcp_port = reserved->port;
  if (!bridge_.StartBridge(local_address, core_tcp_port)) return false;

  std::string config = BuildCoreConfig(request, local_address, bridge_.udp_port(), core_tcp_port);
  if (config == "{}") {
    bridge_.StopBridge();
    return false;
  }
  std::wstring config_path = ConfigFilePath();
  WriteConfigFile(config_path, config);

  UniqueHandle read_end;
  if (!CreateCoreOutputPipe(&read_end, &pipe_write_)) {
    bridge_.StopBridge();
    return false;
  }
  // The core binds the port itself.
  reserved->socket.Reset();
  if (!LaunchCoreProcess(&core_executable, config_path, pipe_write_.Get(), &core_)) {
    pipe_write_.Reset();
    bridge_.StopBridge();
    return false;
  }
  pipe_write_.Reset();
  const uint64_t run_id = ++last_run_id_;
  pipe_read_ = std::make_shared<UniqueHandle>(read_end.Release());
  auto reader_run = std::make_unique<ReaderRun>(ReaderRun{this, run_id, pipe_read_});
  reader_run_.store(run_id);
  core_running_.exchange(run_id);
  reader_thread_.Reset(
      ::CreateThread(nullptr, 0, &CoreOutputReaderMain, reader_run.get(), 0, nullptr));
  if (!reader_thread_) {
    // Unread output would soon block the core; do not report a half-watched core.
    Disconnect();
    return false;
  }
  reader_run.release();  // the thread owns it now
  SumInterfaceOctets(&baseline_received_, &baseline_sent_);
  ::Sleep(kSurvivalWaitMs);

  if (core_running_.load() != run_id) {
    Disconnect();
    return false;
  }
  DWORD exit_code = 0;
  if (!ReadCoreExitCode(&exit_code)) {
    Disconnect();
    return false;
  }
  if (exit_code == STILL_ACTIVE) {
    SendLine(kStartedLine);
    return true;
  }
  if (core_running_.exchange(0) != 0) OnCoreEnded();
  Disconnect();
  return false;
}

void TunnelSession::Disconnect() {
  bool was_running = core_running_.exchange(0) != 0;
  bool had_process = static_cast<bool>(core_.process);
  ResetSystemProxy();

  if (core_.process) {
    ::TerminateProcess(core_.process.Get(), 0);
    ::WaitForSingleObject(core_.process.Get(), kCoreExitWaitMs);
    core_.process.Reset();
    core_.thread.Reset();
    core_.process_id = 0;
    core_.thread_id = 0;
  }
  // Ends whatever the core started, so nothing keeps the output pipe open.
  core_.job.Reset();
  bridge_.StopBridge();

  // With the core and its job gone the pipe ends at once; a read still blocked
  // after the wait is cancelled. A reader that outlives even that is given up
  // on: the pipe end stays open until it lets go too, and its run is no longer
  // current, so it changes nothing of the session's.
  if (reader_thread_) {
    if (::WaitForSingleObject(reader_thread_.Get(), kReaderExitWaitMs) == WAIT_TIMEOUT) {
      ::CancelSynchronousIo(reader_thread_.Get());
      ::WaitForSingleObject(reader_thread_.Get(), kReaderCancelWaitMs);
    }
    reader_run_.store(0);
    reader_thread_.Reset();
  }
  pipe_read_.reset();
  pipe_write_.Reset();

  baseline_received_ = 0;
  baseline_sent_ = 0;
  if (was_running || had_process) SendLine(kStoppedLine);
}

bool TunnelSession::IsConnected() {
  if (core_running_.load() == 0) return false;
  DWORD exit_code = 0;
  if (!ReadCoreExitCode(&exit_code)) return false;
  if (exit_code == STILL_ACTIVE) return true;
  if (core_running_.exchange(0) != 0) OnCoreEnded();
  return false;
}

std::string TunnelSession::TakeLog() { return log_.TakeLog(); }

TrafficCounters TunnelSession::ReadTrafficCounters() {
  if (core_running_.load() == 0) return TrafficCounters();
  uint64_t received = 0;
  uint64_t sent = 0;
  if (!SumInterfaceOctets(&received, &sent)) return TrafficCounters();
  return TrafficSinceBaseline(received, sent, baseline_received_, baseline_sent_);
}

void TunnelSession::OnCoreEnded() {
  bridge_.StopBridge();
  if (stopped_observer_) stopped_observer_();
}

void TunnelSession::SendLine(const std::string& line) {
  if (line_observer_) line_observer_(line);
}

bool TunnelSession::ReadCoreExitCode(DWORD* exit_code) const {
  return core_.process && ::GetExitCodeProcess(core_.process.Get(), exit_code) != FALSE;
}

}  // namespace duzavide
