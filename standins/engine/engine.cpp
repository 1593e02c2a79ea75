#include "standins/engine/engine.h"

#include <atomic>
#include <utility>

namespace duzavide::standin {
namespace {

constexpr wchar_t kEngineWindowClass[] = L"DuzavideStandinEngine";
constexpr UINT kRunTasksMessage = WM_APP + 1;
constexpr UINT_PTR kFirstBuildTimer = 0x5C10;

// Serials of the engines created so far; 0 is never issued.
std::atomic<uint32_t> g_last_engine_serial{0};

void RegisterEngineWindowClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = LibraryInstance();
  window_class.lpszClassName = kEngineWindowClass;
  registered = RegisterClassExW(&window_class) != 0;
}

std::wstring CopyWide(const wchar_t* text) { return text != nullptr ? text : L""; }

}  // namespace

HINSTANCE LibraryInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&LibraryInstance), &module);
  return module;
}

Engine::Engine(const FlutterDesktopEngineProperties& properties)
    : assets_path_(CopyWide(properties.assets_path)),
      icu_data_path_(CopyWide(properties.icu_data_path)),
      aot_library_path_(CopyWide(properties.aot_library_path)),
      entrypoint_(properties.dart_entrypoint != nullptr ? properties.dart_entrypoint : ""),
      arguments_array_was_null_(properties.dart_entrypoint_argv == nullptr),
      platform_thread_(GetCurrentThreadId()),
      messenger_(new FlutterDesktopMessenger(this, GetCurrentThreadId())),
      serial_(g_last_engine_serial.fetch_add(1) + 1) {
  if (properties.dart_entrypoint_argv != nullptr) {
    for (int i = 0; i < properties.dart_entrypoint_argc; ++i) {
      const char* argument = properties.dart_entrypoint_argv[i];
      arguments_.emplace_back(argument != nullptr ? argument : "");
    }
  }
  RegisterEngineWindowClass();
  // A hidden top-level window: its queue runs posted tasks, and it parents the
  // view until the host moves the view into its own window.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kEngineWindowClass, L"", WS_POPUP, 0, 0, 0, 0,
                            nullptr, nullptr, LibraryInstance(), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Engine::WindowProc));
}

Engine::~Engine() {
  BeginEnding();
  EnterCriticalSection(&messenger_->lock);
  pending_.clear();
  LeaveCriticalSection(&messenger_->lock);
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  messenger_->Release();
  std::lock_guard<std::mutex> guard(tasks_mutex_);
  tasks_.clear();
}

void Engine::SetHostCallback(const std::string& channel, FlutterDesktopMessageCallback callback,
                             void* user_data) {
  if (callback == nullptr) {
    host_callbacks_.erase(channel);
  } else {
    host_callbacks_[channel] = HostCallback{callback, user_data};
  }
}

bool Engine::DeliverToHost(const std::string& channel, const uint8_t* data, size_t size,
                           ResponseCallback on_response) {
  auto found = host_callbacks_.find(channel);
  if (found == host_callbacks_.end()) return false;
  // Copied: the callback may replace or remove itself while it runs.
  HostCallback target = found->second;
  EnterCriticalSection(&messenger_->lock);
  uintptr_t id = (static_cast<uintptr_t>(serial_) << 32) | next_message_++;
  pending_[id] = std::move(on_response);
  LeaveCriticalSection(&messenger_->lock);

  FlutterDesktopMessage message = {};
  message.struct_size = sizeof(message);
  message.channel = channel.c_str();
  message.message = data;
  message.message_size = size;
  // Handles are never-reused numbers, never dereferenced, so a stale handle cannot
  // answer a newer message and is recognised as stale.
  message.response_handle = reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(id);
  target.callback(messenger_, &message, target.user_data);
  return true;
}

ResponseOutcome Engine::SendResponse(const FlutterDesktopMessageResponseHandle* handle,
                                     const uint8_t* data, size_t size) {
  const auto value = reinterpret_cast<uintptr_t>(handle);
  const auto serial = static_cast<uint32_t>(value >> 32);
  const auto number = static_cast<uint32_t>(value & 0xFFFFFFFFu);
  if (serial != serial_) {
    return serial != 0 && serial <= g_last_engine_serial.load() ? ResponseOutcome::kOtherEngine
                                                                : ResponseOutcome::kUnknown;
  }
  ResponseCallback callback;
  ResponseOutcome outcome = ResponseOutcome::kDelivered;
  EnterCriticalSection(&messenger_->lock);
  auto found = pending_.find(value);
  if (found != pending_.end()) {
    callback = std::move(found->second);
    pending_.erase(found);
  } else {
    // Every issued handle stays pending until answered.
    outcome = number != 0 && number < next_message_ ? ResponseOutcome::kAlreadyAnswered
                                                    : ResponseOutcome::kUnknown;
  }
  LeaveCriticalSection(&messenger_->lock);
  if (!callback) return outcome;
  if (GetCurrentThreadId() == platform_thread_) {
    callback(size > 0 ? data : nullptr, size);
    return outcome;
  }
  std::vector<uint8_t> copy(data, data + (data != nullptr ? size : 0));
  PostTask([callback = std::move(callback), copy = std::move(copy)] {
    callback(copy.empty() ? nullptr : copy.data(), copy.size());
  });
  return outcome;
}

void Engine::SetAppListener(const std::string& channel, AppListener listener) {
  if (listener) {
    app_listeners_[channel] = std::move(listener);
  } else {
    app_listeners_.erase(channel);
  }
}

bool Engine::DeliverToApp(const std::string& channel, const uint8_t* data, size_t size,
                          FlutterDesktopBinaryReply reply, void* user_data) {
  auto found = app_listeners_.find(channel);
  if (found == app_listeners_.end()) return false;
  std::vector<uint8_t> answer = found->second(data, size);
  if (reply != nullptr) {
    // Answers arrive later, from the message loop, as they would from the application.
    PostTask([reply, user_data, answer = std::move(answer)] {
      reply(answer.empty() ? nullptr : answer.data(), answer.size(), user_data);
    });
  }
  return true;
}

void Engine::SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data) {
  next_frame_callback_ = callback;
  next_frame_user_data_ = user_data;
}

void Engine::RequestFrame() {
  PostTask([this] { ProduceFrame(); });
}

void Engine::ScheduleFirstBuild(UINT delay_ms) {
  SetTimer(window_, kFirstBuildTimer, delay_ms, nullptr);
}

void Engine::ProduceFrame() {
  KillTimer(window_, kFirstBuildTimer);
  ++frames_produced_;
  FlutterDesktopOnNextFrameCallback callback = std::exchange(next_frame_callback_, nullptr);
  void* user_data = std::exchange(next_frame_user_data_, nullptr);
  if (callback != nullptr) callback(user_data);
  if (frame_observer_) frame_observer_();
}

void Engine::ReloadSystemFonts() {
  if (font_observer_) font_observer_();
}

FlutterDesktopPluginRegistrarRef Engine::GetPluginRegistrar(const std::string& plugin_name) {
  std::unique_ptr<FlutterDesktopPluginRegistrar>& registrar = registrars_[plugin_name];
  if (!registrar) registrar.reset(new FlutterDesktopPluginRegistrar{plugin_name});
  return registrar.get();
}

void Engine::PostTask(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> guard(tasks_mutex_);
    tasks_.push_back(std::move(task));
  }
  PostMessageW(window_, kRunTasksMessage, 0, 0);
}

void Engine::BeginEnding() {
  // From here on the host's reply functions drop their answers.
  messenger_->Detach();
}

void EndEngine(FlutterDesktopEngine& record) {
  record.state = FlutterDesktopEngine::State::kEnding;
  record.engine.reset();
  record.state = FlutterDesktopEngine::State::kEnded;
}

void Engine::RunTasks() {
  // One task per posted message keeps the loop responsive; the message count
  // matches the task count.
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> guard(tasks_mutex_);
    if (tasks_.empty()) return;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
}

// static
LRESULT CALLBACK Engine::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* engine = reinterpret_cast<Engine*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (engine != nullptr && message == kRunTasksMessage) {
    engine->RunTasks();
    return 0;
  }
  if (engine != nullptr && message == WM_TIMER && wparam == kFirstBuildTimer) {
    if (engine->frames_produced_ == 0) {
      engine->ProduceFrame();
    } else {
      KillTimer(hwnd, kFirstBuildTimer);
    }
    return 0;
  }
  // The view's top-level ancestor until the host adopts it: closing it is not ours.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace duzavide::standin
