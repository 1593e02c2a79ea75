#include "tunnel/tunnel_controller.h"

#include <chrono>
#include <memory>
#include <utility>

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include "base/executable_path.h"
#include "base/line_sink.h"
#include "base/thread.h"
#include "tunnel/connect_failure.h"
#include "tunnel/leak_protection/windows_filtering_platform.h"
#include "tunnel/proxy_setting/system_proxy_keeper.h"

namespace duzavide {
namespace {

// The core's TUN interface: its routes are the tunnel's own, not the network's.
constexpr wchar_t kTunnelInterfaceAlias[] = L"DuzavideTun";

// `tunnel_luid`: the tunnel's interface as the controller knows it, if at all.
std::optional<NetworkPath> ReadNetworkPath(uint32_t server, const std::string& in_use,
                                           std::optional<uint64_t> tunnel_luid) {
  NetworkTables tables;
  if (!ReadNetworkTables(&tables)) return std::nullopt;
  tables.tunnel_luid = tunnel_luid;
  return ChooseNetworkPath(tables, server, in_use);
}

std::optional<uint64_t> TunnelInterfaceLuid() {
  NET_LUID luid{};
  if (::ConvertInterfaceAliasToLuid(kTunnelInterfaceAlias, &luid) != NO_ERROR) return std::nullopt;
  return luid.Value;
}

int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// How long to wait for `due_ms`, in whole milliseconds; INFINITE when nothing is
// due.
DWORD MillisecondsUntil(const std::optional<int64_t>& due_ms) {
  if (!due_ms) return INFINITE;
  const int64_t left = *due_ms - SteadyNowMs();
  if (left <= 0) return 0;
  // Rounded up, so the wait never ends just before the work is due.
  return static_cast<DWORD>(left) + 1;
}

}  // namespace

TunnelController::TunnelController() : TunnelController(Seams()) {}

TunnelController::TunnelController(Seams seams)
    : connected_(std::make_shared<std::atomic<bool>>(false)),
      cancel_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      lookup_cancel_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      network_signal_(std::make_shared<NetworkSignal>()),
      read_path_(
          seams.read_path
              ? std::move(seams.read_path)
              : [this](
                    uint32_t server,
                    const std::string&
                        in_use) { return ReadNetworkPath(server, in_use, leak_inputs_.tunnel_luid); }),
      own_proxy_work_(seams.proxy_platform != nullptr
                          ? std::make_unique<LockedProxyWork>(*seams.proxy_platform)
                          : nullptr),
      proxy_work_(own_proxy_work_ ? *own_proxy_work_ : SignedInUserProxyWork()),
      recovery_(this),
      tunnel_lock_(seams.lock_place ? std::move(seams.lock_place) : &OpenMachineLockNamespace),
      own_filtering_(seams.filtering != nullptr ? nullptr
                                                : std::make_unique<WindowsFilteringPlatform>()),
      tunnel_interface_(seams.tunnel_interface ? std::move(seams.tunnel_interface)
                                               : &TunnelInterfaceLuid),
      leak_protection_(seams.filtering != nullptr ? seams.filtering : own_filtering_.get()),
      wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  leak_inputs_.host_path = ExecutablePath();
  network_signal_->event.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  session_.SetCancelEvent(cancel_.Get());
  session_.SetLookupCancelEvent(lookup_cancel_.Get());
  if (seams.detect_address) session_.SetAddressDetector(std::move(seams.detect_address));
  session_.SetLineObserver(EmitLine);
  // One fact: the bridge binds the address of the path the recovery remembers,
  // read from the tables with the tunnel's interfaces left out. Right after a
  // reconnect the old core's adapter can still hold the best route for a moment,
  // and the system's own lookup would pick the tunnel's address.
  session_.SetAddressChooser([this](uint32_t server, const std::string& detected) {
    detected_path_ = read_path_(server, detected);
    if (!detected_path_ || detected_path_->local_address.empty()) return detected;
    if (detected_path_->local_address != detected) {
      EmitLine("[host] the route lookup chose " + detected + "; using " +
               detected_path_->local_address + ", the address outside the tunnel");
    }
    return detected_path_->local_address;
  });
  session_.SetLaunchGate([this](const std::wstring& core_path, std::string* failure) {
    return BeforeCoreLaunch(core_path, failure);
  });
  // The reader thread finds the core's end without any task running: the
  // interface hears it at once, and the controller's thread is woken to end the
  // tunnel.
  session_.SetStoppedObserver([connected = connected_, signal = network_signal_] {
    connected->store(false);
    signal->core_ended.store(true);
    ::SetEvent(signal->event.Get());
  });
  // The relay thread finds that the bridge's address no longer sends.
  session_.SetAddressTroubleObserver([signal = network_signal_] {
    if (!signal->bridge_trouble.exchange(true)) ::SetEvent(signal->event.Get());
  });
  // The relay thread finds that nothing comes back through the tunnel.
  session_.SetRelaySilenceObserver([signal = network_signal_] {
    signal->relay_silent.store(true);
    if (!signal->relay_silence_news.exchange(true)) ::SetEvent(signal->event.Get());
  });
}

TunnelController::~TunnelController() { ShutdownAndWait(); }

void TunnelController::SetNotifier(Notifier notifier) {
  AutoLock lock(lock_);
  notifier_ = std::move(notifier);
}

void TunnelController::Start() {
  AutoLock lock(lock_);
  if (!stopping_) StartThreadLocked();
}

bool TunnelController::PostCall(const MethodCall& call, ReplyHandler on_reply) {
  // The task gets its own copy: the engine owns `call` only until we return.
  auto task_call = std::make_shared<const MethodCall>(
      call.method_name(),
      call.arguments() != nullptr ? std::make_unique<EncodableValue>(*call.arguments()) : nullptr);
  Task task = [this, task_call, on_reply = std::move(on_reply)]() -> Completion {
    ControlChannelReply reply = RunControlChannelCall(*this, *task_call);
    return [on_reply, reply = std::move(reply)] { on_reply(reply); };
  };
  return call.method_name() == "disconnect" ? PostDisconnectTask(std::move(task))
                                            : Post(std::move(task));
}

bool TunnelController::PostDisconnect() {
  return PostDisconnectTask([this]() -> Completion {
    Disconnect();
    return nullptr;
  });
}

bool TunnelController::PostResume() {
  return Post([this]() -> Completion {
    recovery_.OnResume(NowMs(), network_signal_->relay_silent.load());
    return nullptr;
  });
}

bool TunnelController::PostDisconnectTask(Task task) {
  // Announced before it is queued: the task clears it when it has run, and a
  // reconnect about to start sees it.
  disconnect_pending_.store(true);
  if (!Post(std::move(task))) return false;
  // Only a reconnect is cut short: a connect the user asked for still answers,
  // but does not wait for a resolver before it does.
  ::SetEvent(lookup_cancel_.Get());
  if (recovery_.reconnecting()) ::SetEvent(cancel_.Get());
  return true;
}

bool TunnelController::Cancelled() {
  return disconnect_pending_.load() || ::WaitForSingleObject(cancel_.Get(), 0) == WAIT_OBJECT_0;
}

bool TunnelController::TunnelUp() const {
  return wanted_ && (session_.core_running() || recovery_.recovering());
}

bool TunnelController::Connect(const ConnectRequest& request) {
  if (TunnelUp()) return true;
  // A core that ended on its own, not yet seen to: its tunnel ends first.
  if (wanted_) EndTunnel();
  return StartTunnel(request);
}

bool TunnelController::StartTunnel(const ConnectRequest& request) {
  // Nothing is touched, not even the proxy setting, while another session tunnels.
  const std::string refusal = MachineLockRefusal(tunnel_lock_.Take());
  if (!refusal.empty()) {
    EmitLine(ConnectFailedLine("[xray]", "machine-wide tunnel lock", refusal));
    return false;
  }
  // The user's own setting is saved before it is switched to direct access.
  std::string failure;
  if (!ResetSystemProxy(&failure, proxy_work_)) {
    EmitLine(ConnectFailedLine("[proxy]", "proxy setting", failure));
    tunnel_lock_.Release();
    return false;
  }
  detected_path_.reset();
  session_.UseKnownServer(0);
  if (!session_.Connect(request)) {
    // No tunnel runs, so nothing needs direct access or protection.
    leak_protection_.Remove();
    RestoreSystemProxy(EmitLine, proxy_work_);
    tunnel_lock_.Release();
    return false;
  }
  wanted_ = true;
  request_ = request;
  recovery_.OnConnected(CurrentRun(), NowMs());
  ProtectTunnelInterface();
  return true;
}

bool TunnelController::BeforeCoreLaunch(const std::wstring& core_path, std::string* failure) {
  // The figures count from the first core's launch, across every reconnect.
  if (!wanted_) {
    std::vector<InterfaceOctets> interfaces;
    ReadInterfaceOctets(&interfaces);
    tally_.Start(interfaces);
  }
  const LeakProtection::State before = leak_protection_.state();
  LeakProtectionInputs inputs = leak_inputs_;
  inputs.core_path = core_path;
  if (before == LeakProtection::State::kOn && inputs == leak_inputs_) return true;
  // The tunnel's interface of an earlier core is gone with it.
  if (before == LeakProtection::State::kOff) inputs.tunnel_luid.reset();
  if (!leak_protection_.Apply(PlanLeakProtection(inputs), failure)) return false;
  leak_inputs_ = inputs;
  if (before != LeakProtection::State::kOff) return true;
  std::string line = leak_protection_.state() == LeakProtection::State::kOn
                         ? "[xray] leak protection on"
                         : "[xray] leak protection unavailable -- " + leak_protection_.reason();
  session_.AddLogLine(line);
  EmitLine(line);
  return true;
}

void TunnelController::ProtectTunnelInterface() {
  if (leak_protection_.state() != LeakProtection::State::kOn) return;
  const std::optional<uint64_t> luid = tunnel_interface_();
  if (!luid || luid == leak_inputs_.tunnel_luid) return;
  LeakProtectionInputs inputs = leak_inputs_;
  inputs.tunnel_luid = luid;
  std::string failure;
  if (!leak_protection_.Apply(PlanLeakProtection(inputs), &failure)) {
    EmitLine("[xray] leak protection could not let the tunnel's interface through -- " + failure);
    return;
  }
  leak_inputs_ = inputs;
}

void TunnelController::EndTunnel() {
  recovery_.OnDisconnected();
  wanted_ = false;
  RestoreSystemProxy(EmitLine, proxy_work_);
  session_.Disconnect();
  // The core and everything in its job are gone.
  leak_protection_.Remove();
  tunnel_lock_.Release();
}

void TunnelController::OnCoreEnded() {
  // News of a run that has been replaced since, or of a tunnel already ended.
  if (!wanted_ || session_.core_running()) return;
  std::string exit_code = session_.CoreExitCodeText();
  if (exit_code.empty()) exit_code = "unknown";
  if (!recovery_.OnCoreEnded(exit_code, NowMs())) EndTunnel();
}

RunPath TunnelController::CurrentRun() const {
  return RunPath{session_.server_ipv4(), session_.local_address(), detected_path_};
}

void TunnelController::Disconnect() {
  EndTunnel();
  disconnect_pending_.store(false);
}

bool TunnelController::IsConnected() {
  session_.IsConnected();  // finds a core that ended
  return TunnelUp();
}

std::string TunnelController::TakeLog() { return session_.TakeLog(); }

TrafficCounters TunnelController::ReadTrafficCounters() {
  if (!TunnelUp()) return TrafficCounters();
  std::vector<InterfaceOctets> interfaces;
  if (!ReadInterfaceOctets(&interfaces)) return TrafficCounters();
  return tally_.Update(interfaces);
}

bool TunnelController::Reconnect(RunPath* run, std::string* failure) {
  // The server as the first connect found it: a new name lookup could hang.
  const uint32_t server = session_.server_ipv4();
  // A running core would make Connect answer at once without a new bridge.
  session_.Disconnect();
  detected_path_.reset();
  if (server != 0) session_.UseKnownServer(server);
  if (!session_.Connect(request_)) {
    *failure = session_.last_failure();
    return false;
  }
  *run = CurrentRun();
  network_signal_->relay_silent.store(false);
  ProtectTunnelInterface();
  return true;
}

void TunnelController::Stop() { session_.Disconnect(); }

std::optional<NetworkPath> TunnelController::ReadPath(uint32_t server, const std::string& in_use) {
  return read_path_(server, in_use);
}

int64_t TunnelController::NowMs() { return SteadyNowMs(); }

void TunnelController::WriteLine(const std::string& line) { EmitLine(line); }

bool TunnelController::Post(Task task) {
  AutoLock lock(lock_);
  if (stopping_) return false;
  tasks_.push_back(std::move(task));
  StartThreadLocked();
  ::SetEvent(wake_.Get());
  return true;
}

void TunnelController::StartThreadLocked() {
  if (thread_started_) return;
  thread_ = StartThread([this] { Run(); });
  // Without a thread the next Post tries again, and ShutdownAndWait disconnects
  // on its own.
  thread_started_ = static_cast<bool>(thread_);
}

void TunnelController::RunCompletions() {
  std::deque<Completion> ready;
  {
    AutoLock lock(lock_);
    ready.swap(done_);
  }
  for (Completion& completion : ready) completion();
}

void TunnelController::Shutdown() {
  AutoLock lock(lock_);
  if (stopping_) return;
  stopping_ = true;
  tasks_.clear();
  ::SetEvent(cancel_.Get());
  ::SetEvent(lookup_cancel_.Get());
  ::SetEvent(wake_.Get());
}

void TunnelController::ShutdownAndWait() {
  Shutdown();
  FinishShutdown(INFINITE);
}

bool TunnelController::ShutdownForSessionEnd(DWORD budget_ms) {
  SetNotifier(nullptr);
  Shutdown();
  // The proxy setting is the user's, and outlives the process: it is given back
  // here, whether or not the disconnect gets to it in time.
  RestoreSystemProxy(EmitLine, proxy_work_);
  return FinishShutdown(budget_ms);
}

bool TunnelController::FinishShutdown(DWORD timeout_ms) {
  bool disconnect_here = false;
  {
    AutoLock lock(lock_);
    disconnect_here = !thread_started_;
    thread_started_ = true;
  }
  if (thread_) {
    // Left held when the time is up, so that the destructor still waits for it.
    if (::WaitForSingleObject(thread_.Get(), timeout_ms) != WAIT_OBJECT_0) return false;
    thread_.Reset();
  }
  // No thread ever ran and none can start now: this thread is the session's only
  // caller.
  if (disconnect_here) {
    Disconnect();
    PublishState();
  }
  return true;
}

void TunnelController::Run() {
  network_events_.Start(network_signal_->event.Get());
  for (;;) {
    Task task;
    bool stop = false;
    {
      AutoLock lock(lock_);
      if (!tasks_.empty()) {
        task = std::move(tasks_.front());
        tasks_.pop_front();
      } else {
        stop = stopping_;
      }
      // A cancel meant for the work before this one must not end this one.
      if (!stopping_) ::ResetEvent(cancel_.Get());
      if (!stopping_ && !disconnect_pending_.load()) ::ResetEvent(lookup_cancel_.Get());
    }
    if (stop) break;
    if (!task) {
      WaitAndRecover();
      continue;
    }
    Completion completion = task();
    PublishState();
    if (!completion) continue;
    Notifier notifier;
    {
      AutoLock lock(lock_);
      done_.push_back(std::move(completion));
      notifier = notifier_;
    }
    if (notifier) notifier();
  }
  network_events_.Stop();
  Disconnect();
  PublishState();
}

void TunnelController::WaitAndRecover() {
  HANDLE handles[3] = {wake_.Get(), network_signal_->event.Get(), nullptr};
  DWORD count = 2;
  if (HANDLE address_list = network_events_.address_list_event()) handles[count++] = address_list;
  const DWORD woken =
      ::WaitForMultipleObjects(count, handles, FALSE, MillisecondsUntil(recovery_.next_due_ms()));
  const int64_t now = NowMs();
  using Reason = NetworkRecovery::RecheckReason;
  if (woken == WAIT_OBJECT_0 + 1) {
    if (network_signal_->core_ended.exchange(false)) OnCoreEnded();
    Reason reason = Reason::kNetworkEvent;
    if (network_signal_->relay_silence_news.exchange(false)) reason = Reason::kRelaySilent;
    if (network_signal_->bridge_trouble.exchange(false)) reason = Reason::kBridgeTrouble;
    recovery_.Recheck(reason, now);
  } else if (woken == WAIT_OBJECT_0 + 2) {
    if (network_events_.TakeAddressListChange()) recovery_.Recheck(Reason::kNetworkEvent, now);
  } else if (woken == WAIT_TIMEOUT) {
    recovery_.RunDue(now);
  } else if (woken == WAIT_FAILED) {
    // Without the events the queue is polled.
    ::Sleep(10);
    return;
  } else {
    return;  // a task was posted
  }
  // The core makes its interface a little after it starts.
  if (wanted_ && !leak_inputs_.tunnel_luid) ProtectTunnelInterface();
  PublishState();
}

void TunnelController::PublishState() {
  const bool up = TunnelUp();
  connected_->store(up);
  // The core's end may have been published between the read and the store; the
  // flag is cleared before that happens, so a second read catches it.
  if (up && !TunnelUp()) connected_->store(false);
}

}  // namespace duzavide
