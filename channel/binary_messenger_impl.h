// BinaryMessenger over the engine's messenger handle.
//
// Keeps one handler per channel name and registers it with the engine, which calls
// DispatchEngineMessage with the handler's address; each handler therefore keeps a
// fixed address while registered. Must outlive the engine's use of those
// registrations: destroy it only after the engine has been ended. Handlers are
// changed on the platform thread only. Does not own the messenger handle.
#ifndef CHANNEL_BINARY_MESSENGER_IMPL_H_
#define CHANNEL_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <string>

#include "channel/binary_messenger.h"
#include "channel/engine_api/flutter_windows.h"

namespace duzavide {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  // std::map nodes never move, so each handler's address is stable while stored.
  std::map<std::string, BinaryMessageHandler> handlers_;
};

// The message callback registered with the engine. `user_data` is the address of a
// BinaryMessageHandler. Gives the handler a reply function that answers through the
// engine at most once, and drops the answer silently when the engine has gone.
void DispatchEngineMessage(FlutterDesktopMessengerRef messenger,
                           const FlutterDesktopMessage* message, void* user_data);

}  // namespace duzavide

#endif  // CHANNEL_BINARY_MESSENGER_IMPL_H_
