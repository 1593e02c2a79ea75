// Delivers raw byte messages between the engine and native handlers.
#ifndef CHANNEL_BINARY_MESSENGER_H_
#define CHANNEL_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace duzavide {

// Sends one answer to one message: the bytes (null for none) and their count.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Handles one raw message. `reply` answers it; it should be called exactly once.
using BinaryMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message to the application on `channel`. `reply`, when given, is
  // called once with the answer, unless the message could not be delivered.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // Installs `handler` for `channel`, replacing any earlier one; an empty handler
  // removes the channel's handler.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace duzavide

#endif  // CHANNEL_BINARY_MESSENGER_H_
