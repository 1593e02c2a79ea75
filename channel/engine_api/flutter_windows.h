// C interface of the UI engine library (flutter_windows.dll).
//
// The shell reaches the engine only through these calls, all made on the main
// (platform) thread, except the messenger's reference, lock and response calls,
// which a reply may make from any thread. The library owns every object behind
// the opaque handles below; the caller never frees them itself.
//
// The same declarations serve the shell (which imports them from the library)
// and our stand-in engine (which exports them): a build of the library itself
// defines DUZAVIDE_ENGINE_BUILDING_LIBRARY.
#ifndef SHELL_ENGINE_API_FLUTTER_WINDOWS_H_
#define SHELL_ENGINE_API_FLUTTER_WINDOWS_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#if defined(DUZAVIDE_ENGINE_BUILDING_LIBRARY)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opaque handles.
typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;

// Identifies one incoming message that awaits its response. Owned by the engine;
// it stays meaningful until the first FlutterDesktopMessengerSendResponse for it.
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// What an engine is created from. Paths are wide texts, used as given (relative
// paths are the engine's to resolve). The strings and the argument array need
// only live during FlutterDesktopEngineCreate.
typedef struct {
  const wchar_t* assets_path;
  const wchar_t* icu_data_path;
  const wchar_t* aot_library_path;
  // UTF-8 name of the Dart entrypoint; an empty text selects the default.
  const char* dart_entrypoint;
  // Entrypoint arguments (UTF-8), in order; the array is null when the count is 0.
  int dart_entrypoint_argc;
  const char** dart_entrypoint_argv;
  // Passed through unchanged; their meaning belongs to the engine.
  int32_t engine_option_1;
  int32_t engine_option_2;
  int32_t engine_option_3;
  // Always 0.
  int32_t reserved;
} FlutterDesktopEngineProperties;

// One message delivered to a message callback. Valid only during the callback.
typedef struct {
  // sizeof(FlutterDesktopMessage) as the engine built it.
  size_t struct_size;
  // The channel name the message arrived on (UTF-8, terminated).
  const char* channel;
  // The message bytes and their count; the pointer may be null when the count is 0.
  const uint8_t* message;
  size_t message_size;
  // Where the answer goes (FlutterDesktopMessengerSendResponse).
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

// Called once per message on a channel, on the platform thread.
typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);

// Called with the answer to a message sent with FlutterDesktopMessengerSendWithReply.
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);

// Called once, after the next frame.
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

// Engine.

FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties);

// Ends an engine that no view controller has taken over. Returns true on success.
FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);

// The engine's messenger; valid for the engine's life (longer while referenced).
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);

FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data);

FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);

// View controller.

// Takes `engine` over (the caller must not destroy it any more), creates the view
// with the given size in physical pixels and runs the application. Null on failure;
// the engine is then ended as well.
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);

FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);

// Ends the view and the engine.
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller);

// Produces a frame.
FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);

// Offers a message of the top-level window to the engine. Returns true when the
// engine consumed it; `result` then holds the message result.
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);

// View.

// The view's child window, for the host to parent into its own window.
FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Process-wide helpers.

// DPI of `monitor`; 96 means 100 %.
FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);

// Makes the engine's own output follow standard streams that were redirected.
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

// Messenger.

// Installs `callback` (with `user_data`) for `channel`, replacing any earlier one;
// a null callback removes the channel's callback.
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data);

// Sends a message to the application. Returns false when it could not be delivered.
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size);

// As Send; `reply` is called once with the answer. Returns false when the message
// could not be delivered, and `reply` is then never called.
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);

// Answers the message identified by `handle`. Honoured once per handle.
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);

// The messenger stays valid (though perhaps unavailable) while referenced.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);

// Guards FlutterDesktopMessengerIsAvailable and the response that follows it.
// Lock returns the messenger (null when it could not be locked); re-entrant.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

// False once the engine behind the messenger has been ended.
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // SHELL_ENGINE_API_FLUTTER_WINDOWS_H_
