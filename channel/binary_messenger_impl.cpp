#include "channel/binary_messenger_impl.h"

#include <memory>
#include <utility>

#include "base/line_sink.h"

namespace duzavide {
namespace {

// State shared by every copy of one message's reply function. The response handle
// is read and cleared only under the messenger's lock, so the answer goes out at
// most once even when copies of the function are called from several threads.
struct PendingResponse {
  std::shared_ptr<FlutterDesktopMessenger> messenger;
  const FlutterDesktopMessageResponseHandle* handle;
};

void Respond(PendingResponse& pending, const uint8_t* data, size_t size) {
  FlutterDesktopMessengerRef messenger = pending.messenger.get();
  FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(messenger);
  if (!FlutterDesktopMessengerIsAvailable(messenger)) {
    // The engine has ended; nobody is waiting for the answer any more.
  } else if (pending.handle != nullptr) {
    FlutterDesktopMessengerSendResponse(messenger, pending.handle, data, size);
    // The engine frees the handle once answered.
    pending.handle = nullptr;
  } else {
    EmitLine("Error: Response can be set only once. Ignoring duplicate response.");
  }
  if (locked != nullptr) FlutterDesktopMessengerUnlock(messenger);
}

void CallReplyCopy(const uint8_t* data, size_t size, void* user_data) {
  std::unique_ptr<BinaryReply> reply(static_cast<BinaryReply*>(user_data));
  (*reply)(data, size);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto* copy = new BinaryReply(std::move(reply));
  if (!FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                            &CallReplyCopy, copy)) {
    // Refused: the engine will never call the trampoline that would free it.
    delete copy;
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  BinaryMessageHandler& stored = handlers_[channel];
  stored = std::move(handler);
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), &DispatchEngineMessage, &stored);
}

void DispatchEngineMessage(FlutterDesktopMessengerRef messenger,
                           const FlutterDesktopMessage* message, void* user_data) {
  FlutterDesktopMessengerAddRef(messenger);
  auto pending = std::make_shared<PendingResponse>(PendingResponse{
      std::shared_ptr<FlutterDesktopMessenger>(messenger, &FlutterDesktopMessengerRelease),
      message->response_handle});
  BinaryReply reply = [pending](const uint8_t* data, size_t size) {
    Respond(*pending, data, size);
  };
  // A copy runs, so a handler that replaces or removes its own registration
  // while it runs does not destroy the code being executed.
  BinaryMessageHandler handler = *static_cast<BinaryMessageHandler*>(user_data);
  handler(message->message, message->message_size, std::move(reply));
}

}  // namespace duzavide
