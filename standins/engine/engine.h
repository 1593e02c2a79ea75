// The stand-in engine object behind FlutterDesktopEngineRef.
//
// Holds what the engine was created from, the messenger, the host's message
// callbacks (one per channel), the messages awaiting a response, the next-frame
// callback and a hidden window whose message queue runs posted tasks on the
// platform thread (the thread that created the engine). Everything except
// SendResponse and PostTask is platform-thread only.
//
// FlutterDesktopEngineRef is not the engine itself but a record that outlives it,
// so that a call made with the handle of an ended engine can be recognised.
#ifndef STANDINS_ENGINE_ENGINE_H_
#define STANDINS_ENGINE_ENGINE_H_

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channel/engine_api/flutter_windows.h"
#include "standins/engine/messenger.h"

struct FlutterDesktopPluginRegistrar {
  std::string plugin_name;
};

namespace duzavide::standin {
class Engine;
}  // namespace duzavide::standin

// The record behind an engine handle. Records are never freed (a few bytes per
// engine), so the handle stays recognisable after its engine ended.
struct FlutterDesktopEngine {
  enum class State {
    kOwnedByCaller,  // created, not taken over: the caller may destroy it
    kTakenOver,      // a view controller owns it and ends it
    kEnding,         // its destruction has begun
    kEnded,
  };
  std::unique_ptr<duzavide::standin::Engine> engine;  // null once ended
  State state = State::kOwnedByCaller;
};

namespace duzavide::standin {

// Receives the host's answer to one message: the bytes (null/0 for an empty answer).
using ResponseCallback = std::function<void(const uint8_t* data, size_t size)>;

// Answers a message the host sent to the application.
using AppListener = std::function<std::vector<uint8_t>(const uint8_t* data, size_t size)>;

// What became of a response the host sent.
enum class ResponseOutcome {
  kDelivered,
  kAlreadyAnswered,  // the handle was answered before
  kOtherEngine,      // the handle belongs to another engine
  kUnknown,          // no engine ever issued the handle
};

class Engine {
 public:
  explicit Engine(const FlutterDesktopEngineProperties& properties);
  ~Engine();

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  FlutterDesktopMessengerRef messenger() const { return messenger_; }
  HWND window() const { return window_; }
  DWORD platform_thread() const { return platform_thread_; }
  const std::wstring& assets_path() const { return assets_path_; }
  const std::wstring& icu_data_path() const { return icu_data_path_; }
  const std::wstring& aot_library_path() const { return aot_library_path_; }
  const std::vector<std::string>& entrypoint_arguments() const { return arguments_; }
  bool arguments_array_was_null() const { return arguments_array_was_null_; }

  // Host side of the messenger.
  void SetHostCallback(const std::string& channel, FlutterDesktopMessageCallback callback,
                       void* user_data);
  // Delivers a message from the application to the host's callback for `channel`.
  // Returns false when the host has none. `on_response` runs at most once, on the
  // platform thread, when the host answers.
  bool DeliverToHost(const std::string& channel, const uint8_t* data, size_t size,
                     ResponseCallback on_response);
  // Any thread. Honoured once per handle; a handle answered before, issued by
  // another engine or never issued is reported and answers nothing.
  ResponseOutcome SendResponse(const FlutterDesktopMessageResponseHandle* handle,
                               const uint8_t* data, size_t size);

  // Application side. Messages from the host reach the listener for their channel;
  // with none, the message is refused (false).
  void SetAppListener(const std::string& channel, AppListener listener);
  bool DeliverToApp(const std::string& channel, const uint8_t* data, size_t size,
                    FlutterDesktopBinaryReply reply, void* user_data);

  // Frames. RequestFrame posts the frame; when it is produced the next-frame
  // callback runs once, then `frame_observer` (if any). ScheduleFirstBuild stands
  // for the application building its first frame by itself: unless a frame was
  // produced before, one comes `delay_ms` later.
  void SetNextFrameCallback(FlutterDesktopOnNextFrameCallback callback, void* user_data);
  void RequestFrame();
  void ScheduleFirstBuild(UINT delay_ms);
  void SetFrameObserver(std::function<void()> observer) { frame_observer_ = std::move(observer); }
  int frames_produced() const { return frames_produced_; }

  void SetFontObserver(std::function<void()> observer) { font_observer_ = std::move(observer); }
  void ReloadSystemFonts();

  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name);

  // Runs `task` later on the platform thread. Any thread.
  void PostTask(std::function<void()> task);

  // The engine's end has begun: the messenger becomes unavailable, so answers from
  // other threads are dropped from here on. Safe to repeat.
  void BeginEnding();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void RunTasks();
  void ProduceFrame();

  struct HostCallback {
    FlutterDesktopMessageCallback callback;
    void* user_data;
  };

  std::wstring assets_path_, icu_data_path_, aot_library_path_;
  std::string entrypoint_;
  std::vector<std::string> arguments_;
  bool arguments_array_was_null_ = true;

  DWORD platform_thread_ = 0;
  HWND window_ = nullptr;
  FlutterDesktopMessengerRef messenger_ = nullptr;
  std::map<std::string, HostCallback> host_callbacks_;
  std::map<std::string, AppListener> app_listeners_;
  // Messages awaiting the host's answer, by handle value; guarded by the messenger lock.
  // A handle is this engine's serial in the high half and the message's number in
  // the low half, so handles are never reused and tell which engine issued them.
  std::map<uintptr_t, ResponseCallback> pending_;
  uint32_t serial_ = 0;
  uint32_t next_message_ = 1;

  FlutterDesktopOnNextFrameCallback next_frame_callback_ = nullptr;
  void* next_frame_user_data_ = nullptr;
  std::function<void()> frame_observer_;
  std::function<void()> font_observer_;
  int frames_produced_ = 0;

  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars_;

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;
};

// The module handle of the stand-in library, for window classes and resources.
HINSTANCE LibraryInstance();

// Ends the engine behind `record` and marks the record ended. Platform thread.
void EndEngine(FlutterDesktopEngine& record);

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_ENGINE_H_
