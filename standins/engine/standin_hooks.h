// Extra calls of the stand-in engine library, for tests only. A real engine
// library does not have them; product code must never call them.
#ifndef STANDINS_ENGINE_STANDIN_HOOKS_H_
#define STANDINS_ENGINE_STANDIN_HOOKS_H_

#include "channel/engine_api/flutter_windows.h"

#ifdef __cplusplus
extern "C" {
#endif

// How often the named engine call (e.g. "FlutterDesktopViewControllerDestroy") has
// been made since the last reset.
FLUTTER_EXPORT int DuzavideStandinCallCount(const char* call_name);
FLUTTER_EXPORT void DuzavideStandinResetCallCounts(void);

// The entrypoint arguments the most recent FlutterDesktopEngineCreate received:
// "argc=<n> argv=null", or "argc=<n> argv=" followed by each argument in brackets.
// The text stays valid until the next engine is created.
FLUTTER_EXPORT const char* DuzavideStandinLastEngineArguments(void);

// The messenger of the most recently created engine, for a test that cannot reach
// it otherwise; usable only while that engine lives.
FLUTTER_EXPORT FlutterDesktopMessengerRef DuzavideStandinLastMessenger(void);

// Sends a message from the application side to the host's callback for `channel`,
// as the application would. `on_response` (may be null) is called once when the host
// answers. False when the host has no callback for the channel.
FLUTTER_EXPORT bool DuzavideStandinDeliverMessage(FlutterDesktopMessengerRef messenger,
                                                  const char* channel, const uint8_t* message,
                                                  size_t message_size,
                                                  FlutterDesktopBinaryReply on_response,
                                                  void* user_data);

// Makes the application answer every message the host sends on `channel` with the
// same bytes (from the message loop), or stop listening.
FLUTTER_EXPORT void DuzavideStandinSetEchoListener(FlutterDesktopMessengerRef messenger,
                                                   const char* channel, bool listen);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // STANDINS_ENGINE_STANDIN_HOOKS_H_
