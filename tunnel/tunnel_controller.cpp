#include "tunnel/tunnel_controller.h"

#include <memory>
#include <utility>

#include "base/line_sink.h"
#include "base/thread.h"
#include "tunnel/system_proxy.h"

namespace duzavide {

TunnelController::TunnelController()
    : connected_(std::make_shared<std::atomic<bool>>(false)),
      cancel_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  session_.SetCancelEvent(cancel_.Get());
  session_.SetLineObserver([](const std::string& line) { EmitLine(line); });
  // The reader thread finds the core's end without any task running.
  session_.SetStoppedObserver([connected = connected_] { connected->store(false); });
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
  return Post([this, task_call, on_reply = std::move(on_reply)]() -> Completion {
    ControlChannelReply reply = RunControlChannelCall(*this, *task_call);
    return [on_reply, reply = std::move(reply)] { on_reply(reply); };
  });
}

bool TunnelController::PostDisconnect() {
  return Post([this]() -> Completion {
    Disconnect();
    return nullptr;
  });
}

bool TunnelController::Connect(const ConnectRequest& request) {
  const bool was_running = session_.core_running();
  const bool connected = session_.Connect(request);
  // A connect while connected ignores its request; the one that runs is kept.
  if (connected && !was_running) last_request_ = request;
  return connected;
}

void TunnelController::Disconnect() {
  last_request_.reset();
  session_.Disconnect();
}

bool TunnelController::IsConnected() { return session_.IsConnected(); }

std::string TunnelController::TakeLog() { return session_.TakeLog(); }

TrafficCounters TunnelController::ReadTrafficCounters() { return session_.ReadTrafficCounters(); }

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
  // The proxy setting is the user's, and outlives the process: it is switched
  // back here, whether or not the disconnect gets to it in time.
  ResetSystemProxy();
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
    }
    if (stop) break;
    if (!task) {
      // Without the event (the system refused it) the queue is polled.
      if (::WaitForSingleObject(wake_.Get(), INFINITE) == WAIT_FAILED) ::Sleep(10);
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
  Disconnect();
  PublishState();
}

void TunnelController::PublishState() {
  const bool running = session_.core_running();
  connected_->store(running);
  // The core's end may have been published between the read and the store; the
  // flag is cleared before that happens, so a second read catches it.
  if (running && !session_.core_running()) connected_->store(false);
}

}  // namespace duzavide
