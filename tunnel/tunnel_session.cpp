#include "tunnel/tunnel_session.h"

#include <functional>
#include <optional>
#include <utility>

#include "base/ipv4_text.h"
#include "base/system_error_text.h"
#include "base/thread.h"
#include "base/wide_to_utf8.h"
#include "bridge/interface_detection.h"
#include "bridge/loopback_port.h"
#include "config/core_config_writer.h"
#include "tunnel/connect_failure.h"
#include "tunnel/core/core_executable.h"
#include "tunnel/core_output_reader.h"
#include "tunnel/data_folder/config_file.h"
#include "tunnel/data_folder/data_folder.h"
#include "tunnel/proxy_host.h"

namespace duzavide {
namespace {

constexpr char kCoreNotFoundLine[] = "[xray] xray.exe not found -- check installation";
// Followed by the reason, e.g. "the file is owned by S-1-5-21-...".
constexpr char kCoreSkippedLine[] = "[xray] xray.exe in the data folder skipped -- ";
constexpr char kNoInterfaceLine[] = "[bridge] could not detect the active IPv4 interface";
constexpr char kStartedLine[] = "[xray] TUN and WireGuard transport started";
constexpr char kStoppedLine[] = "[xray] TUN and WireGuard transport stopped";
constexpr char kXray[] = "[xray]";
constexpr char kBridge[] = "[bridge]";

constexpr DWORD kSurvivalWaitMs = 1000;
constexpr DWORD kCoreExitWaitMs = 5000;
constexpr DWORD kReaderExitWaitMs = 3000;
// Extra time for the reader after its blocking read has been cancelled.
constexpr DWORD kReaderCancelWaitMs = 1000;

}  // namespace

TunnelSession::TunnelSession()
    : observers_(std::make_shared<SessionObservers>()),
      log_(std::make_shared<SessionLog>()),
      // The relay thread may outlive the session by a little: it holds its own share
      // of the observers.
      bridge_(std::make_shared<WireGuardTcpBridge>(
          [observers = std::shared_ptr<const SessionObservers>(observers_)](
              const std::string& line) { observers->SendLine(line); })) {
  bridge_->SetAddressTroubleObserver([observers = std::shared_ptr<const SessionObservers>(
                                          observers_)] { observers->SendAddressTrouble(); });
  bridge_->SetRelaySilenceObserver([observers = std::shared_ptr<const SessionObservers>(
                                        observers_)] { observers->SendRelaySilence(); });
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

TunnelSession::~TunnelSession() {
  Disconnect();
  ::WSACleanup();
}

void TunnelSession::SetCancelEvent(HANDLE cancel) {
  cancel_ = cancel;
  bridge_->SetCancelEvent(cancel);
}

bool TunnelSession::CancelledWithin(DWORD ms, HANDLE ends_early) const {
  HANDLE events[2];
  DWORD count = 0;
  if (cancel_ != nullptr) events[count++] = cancel_;
  if (ends_early != nullptr) events[count++] = ends_early;
  if (count == 0) {
    ::Sleep(ms);
    return false;
  }
  return ::WaitForMultipleObjects(count, events, FALSE, ms) == WAIT_OBJECT_0 && cancel_ != nullptr;
}

bool TunnelSession::Fail(const char* subsystem, const char* step, const std::string& reason) {
  last_failure_ = std::string(step) + ": " + reason;
  SendLine(ConnectFailedLine(subsystem, step, reason));
  return false;
}

bool TunnelSession::Connect(const ConnectRequest& request) {
  if (core_run_.active()) return true;
  // Leftovers of a core that ended on its own.
  if (core_.process || pipe_read_ || reader_thread_) Disconnect();
  last_failure_.clear();
  // Verified by handle every time, and held until the next Connect verifies it
  // again: nothing is written into a folder another program could have swapped.
  VerifiedFolder data_folder = VerifyDataFolder();
  for (const std::string& note : data_folder.notes) SendLine(std::string(kXray) + " " + note);
  // Said once, not on every connect.
  if (!data_folder.unprotected_note.empty() && data_folder.path != unprotected_folder_said_) {
    unprotected_folder_said_ = data_folder.path;
    SendLine(std::string(kXray) + " " + data_folder.unprotected_note);
  }
  if (data_folder.path.empty()) return Fail(kXray, "data folder", data_folder.problem);
  data_folder_ = std::move(data_folder);
  RemoveLeftoverConfigFiles(data_folder_.path);
  std::string failure;

  CoreExecutable core_executable = LocateCoreExecutable(data_folder_);
  if (!core_executable.skipped.empty()) {
    SendLine(std::string(kCoreSkippedLine) + core_executable.skipped);
  }
  if (core_executable.path.empty()) {
    last_failure_ = "xray.exe not found";
    SendLine(kCoreNotFoundLine);
    return false;
  }
  const std::optional<std::string> host = ProxyHostFromShareLink(request.vlessUrl, &failure);
  if (!host) return Fail(kXray, "share link", failure);
  uint32_t server_ipv4 = 0;
  // A server already looked up is not looked up again: a resolver that hangs
  // cannot hold a reconnect (and the disconnect behind it).
  const std::string lookup = known_server_ != 0 ? DottedIPv4(known_server_) : *host;
  std::string local_address = detect_address_(lookup, &failure, &server_ipv4, lookup_cancel_);
  if (local_address.empty() && lookup_cancel_ != nullptr &&
      ::WaitForSingleObject(lookup_cancel_, 0) == WAIT_OBJECT_0) {
    return Fail(kBridge, "name lookup", "cancelled");
  }
  if (local_address.empty()) {
    SendLine(kNoInterfaceLine);
    return Fail(kBridge, "interface detection", failure);
  }
  if (address_chooser_) local_address = address_chooser_(server_ipv4, local_address);
  std::optional<ReservedLoopbackPort> reserved = ReserveLoopbackTcpPort(&failure);
  if (!reserved) return Fail(kBridge, "loopback port", failure);
  const uint16_t core_tcp_port = reserved->port;
  if (!bridge_->StartBridge(local_address, core_tcp_port, &failure)) {
    return Fail(kBridge, "bridge", failure);
  }

  // The server's address as resolved here, before the leak protection goes in:
  // with it in place the core could not look the name up itself (the system's
  // name lookups are the DNS Client service's, which the protection blocks).
  const std::string config =
      BuildCoreConfig(request, local_address, bridge_->udp_port(), core_tcp_port,
                      server_ipv4 != 0 ? DottedIPv4(server_ipv4) : std::string());
  if (config == "{}") {
    bridge_->StopBridge();
    return Fail(kXray, "configuration", CoreConfigProblem(request, local_address));
  }
  std::wstring config_path;
  // A core started on an old or foreign file would run a tunnel nobody asked for.
  if (!WriteConfigFile(data_folder_.path, config, &config_path, &failure)) {
    bridge_->StopBridge();
    return Fail(kXray, "configuration file", failure);
  }

  // Whatever must be in place before the core runs (the leak protection).
  if (launch_gate_ && !launch_gate_(core_executable.path, &failure)) {
    bridge_->StopBridge();
    return Fail(kXray, "leak protection", failure);
  }
  UniqueHandle read_end;
  if (!CreateCoreOutputPipe(&read_end, &pipe_write_, &failure)) {
    bridge_->StopBridge();
    return Fail(kXray, "output pipe", failure);
  }
  // The core binds the port itself, so it is let go right before the core
  // starts. A program that takes it meanwhile makes the core fail to listen and
  // end (as the real core does), which the first second's check sees at once.
  reserved->socket.Reset();
  if (!LaunchCoreProcess(&core_executable, config_path, pipe_write_.Get(), &core_, &failure)) {
    pipe_write_.Reset();
    bridge_->StopBridge();
    return Fail(kXray, "process creation", failure);
  }
  pipe_write_.Reset();
  const RunToken core_run = core_run_.Begin();
  if (!StartReader(std::move(read_end), core_run)) {
    failure = LastSystemErrorText();
    // Unread output would soon block the core; do not report a half-watched core.
    Disconnect();
    return Fail(kXray, "output reader", "the thread could not be started: " + failure);
  }
  std::vector<InterfaceOctets> interfaces;
  ReadInterfaceOctets(&interfaces);
  tally_.Start(interfaces);
  // A core that ends sooner is seen to at once.
  if (CancelledWithin(kSurvivalWaitMs, core_.process.Get())) {
    Disconnect();
    return Fail(kXray, "core's first second", "cancelled");
  }
  if (!CoreSurvived(core_run, core_tcp_port)) return false;
  server_ipv4_ = server_ipv4;
  local_address_ = local_address;
  return true;
}

bool TunnelSession::StartReader(UniqueHandle read_end, const RunToken& core) {
  pipe_read_ = std::make_shared<UniqueHandle>(std::move(read_end));
  CoreOutputRun run{pipe_read_, log_, observers_, bridge_, core, reader_run_.Begin()};
  reader_thread_ = StartThread([run = std::move(run)] { ReadCoreOutput(run); });
  return static_cast<bool>(reader_thread_);
}

bool TunnelSession::CoreSurvived(const RunToken& core, uint16_t core_port) {
  DWORD exit_code = 0;
  const bool exit_code_read = ReadCoreExitCode(&exit_code);
  if (core.IsCurrent() && exit_code_read && exit_code == STILL_ACTIVE) {
    SendLine(kStartedLine);
    return true;
  }
  std::string reason;
  if (!exit_code_read) {
    reason = "the core's exit code could not be read: " + LastSystemErrorText();
  } else if (exit_code == STILL_ACTIVE) {
    reason = "the core closed its output";
  } else {
    reason = "the core ended with exit code " + std::to_string(exit_code) + " (see its output)";
  }
  if (exit_code_read && exit_code != STILL_ACTIVE && core.EndIfCurrent()) OnCoreEnded();
  Disconnect();
  // Asked with the core gone: whoever holds the port now took it from the core.
  if (exit_code_read && exit_code != STILL_ACTIVE && LoopbackTcpPortTaken(core_port)) {
    return Fail(kBridge, "loopback port",
                "127.0.0.1:" + std::to_string(core_port) +
                    " was taken by another program before the core could listen on it");
  }
  return Fail(kXray, "core's first second", reason);
}

void TunnelSession::Disconnect() {
  const bool was_running = core_run_.End() != 0;
  const bool had_process = static_cast<bool>(core_.process);

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
  bridge_->StopBridge();

  // With the core and its job gone the pipe ends at once; a read still blocked
  // after the wait is cancelled. A reader that outlives even that is given up
  // on: it holds its own share of the pipe end and of what it writes to, and its
  // run is no longer current, so it changes nothing of the session's.
  if (reader_thread_) {
    if (::WaitForSingleObject(reader_thread_.Get(), kReaderExitWaitMs) == WAIT_TIMEOUT) {
      ::CancelSynchronousIo(reader_thread_.Get());
      ::WaitForSingleObject(reader_thread_.Get(), kReaderCancelWaitMs);
    }
    reader_run_.End();
    reader_thread_.Reset();
  }
  pipe_read_.reset();
  pipe_write_.Reset();

  if (was_running || had_process) SendLine(kStoppedLine);
}

bool TunnelSession::IsConnected() {
  if (!core_run_.active()) return false;
  DWORD exit_code = 0;
  if (!ReadCoreExitCode(&exit_code)) return false;
  if (exit_code == STILL_ACTIVE) return true;
  if (core_run_.End() != 0) OnCoreEnded();
  return false;
}

std::string TunnelSession::TakeLog() { return log_->TakeLog(); }

void TunnelSession::AddLogLine(const std::string& line) {
  const std::string text = line + "\r\n";
  log_->AppendCoreOutput(text.data(), text.size());
}

TrafficCounters TunnelSession::ReadTrafficCounters() {
  if (!core_run_.active()) return TrafficCounters();
  std::vector<InterfaceOctets> interfaces;
  if (!ReadInterfaceOctets(&interfaces)) return TrafficCounters();
  return tally_.Update(interfaces);
}

void TunnelSession::OnCoreEnded() {
  bridge_->StopBridge();
  observers_->SendStopped();
}

std::string TunnelSession::CoreExitCodeText() const {
  DWORD exit_code = 0;
  if (!ReadCoreExitCode(&exit_code) || exit_code == STILL_ACTIVE) return std::string();
  return std::to_string(exit_code);
}

bool TunnelSession::ReadCoreExitCode(DWORD* exit_code) const {
  return core_.process && ::GetExitCodeProcess(core_.process.Get(), exit_code) != FALSE;
}

}  // namespace duzavide
