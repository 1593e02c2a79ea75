#include "tunnel/tunnel_controller.h"

#include <memory>
#include <utility>

#include "base/line_sink.h"
#include "base/thread.h"
#include "tunnel/network/network_path.h"
#include "tunnel/proxy_setting/system_proxy_keeper.h"

namespace duzavide {
namespace {

// The core's TUN interface: its routes are the tunnel's own, not the network's.
constexpr wchar_t kTunnelInterfaceAlias[] = L"DuzavideTun";

std::optional<NetworkPath> ReadNetworkPath(uint32_t server) {
  NetworkTables tables;
  if (!ReadNetworkTables(kTunnelInterfaceAlias, &tables)) return std::nullopt;
  return ChooseNetworkPath(tables, server);
}

// How long to wait for `due`, in whole milliseconds; INFINITE when nothing is due.
DWORD MillisecondsUntil(const std::optional<NetworkRecovery::Clock::time_point>& due) {
  if (!due) return INFINITE;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*due - NetworkRecovery::Clock::now());
  if (left.count() <= 0) return 0;
  // Rounded up, so the wait never ends just before the work is due.
  return static_cast<DWORD>(left.count()) + 1;
}

}  // namespace

TunnelController::TunnelController()
    : connected_(std::make_shared<std::atomic<bool>>(false)),
      cancel_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      network_signal_(std::make_shared<NetworkSignal>()),
      recovery_(
          session_, &ReadNetworkPath, [](const std::string& line) { EmitLine(line); },
          [this] { return Cancelling(); }),
      wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  network_signal_->event.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  session_.SetCancelEvent(cancel_.Get());
  session_.SetLineObserver([](const std::string& line) { EmitLine(line); });
  session_.SetDetectionObserver([this](uint32_t server) { recovery_.OnDetected(server); });
  // The reader thread finds the core's end without any task running.
  session_.SetStoppedObserver([connected = connected_] { connected->store(false); });
  // The relay thread finds that the bridge's address no longer sends.
  session_.SetAddressTroubleObserver([signal = network_signal_] {
    if (!signal->bridge_trouble.exchange(true)) ::SetEvent(signal->event.Get());
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
    recovery_.OnResume(NetworkRecovery::Clock::now());
    return nullptr;
  });
}

bool TunnelController::PostDisconnectTask(Task task) {
  // Announced before it is queued: the task clears it when it has run, and a
  // reconnect about to start sees it.
  disconnect_pending_.store(true);
  if (!Post(std::move(task))) return false;
  // Only a reconnect is cut short: a connect the user asked for still answers.
  if (recovery_.reconnecting()) ::SetEvent(cancel_.Get());
  return true;
}

bool TunnelController::Cancelling() const {
  return disconnect_pending_.load() || ::WaitForSingleObject(cancel_.Get(), 0) == WAIT_OBJECT_0;
}

bool TunnelController::Connect(const ConnectRequest& request) {
  if (session_.core_running() || recovery_.recovering()) return true;
  const bool connected = session_.Connect(request);
  if (connected) recovery_.OnConnected(request, NetworkRecovery::Clock::now());
  return connected;
}

void TunnelController::Disconnect() {
  recovery_.OnDisconnected();
  session_.Disconnect();
  disconnect_pending_.store(false);
}

bool TunnelController::IsConnected() {
  const bool running = session_.IsConnected();
  return running || recovery_.recovering();
}

std::string TunnelController::TakeLog() { return session_.TakeLog(); }

TrafficCounters TunnelController::ReadTrafficCounters() { return recovery_.ReadTrafficCounters(); }

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
  RestoreSystemProxy([](const std::string& line) { EmitLine(line); });
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
      ::WaitForMultipleObjects(count, handles, FALSE, MillisecondsUntil(recovery_.next_due()));
  const NetworkRecovery::Clock::time_point now = NetworkRecovery::Clock::now();
  using Reason = NetworkRecovery::RecheckReason;
  if (woken == WAIT_OBJECT_0 + 1) {
    recovery_.Recheck(network_signal_->bridge_trouble.exchange(false) ? Reason::kBridgeTrouble
                                                                      : Reason::kNetworkEvent,
                      now);
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
  PublishState();
}

void TunnelController::PublishState() {
  const bool running = session_.core_running() || recovery_.recovering();
  connected_->store(running);
  // The core's end may have been published between the read and the store; the
  // flag is cleared before that happens, so a second read catches it.
  if (running && !session_.core_running() && !recovery_.recovering()) connected_->store(false);
}

}  // namespace duzavide
