#include "channel/method_channel.h"

#include <memory>
#include <utility>

#include "base/line_sink.h"
#include "channel/engine_method_result.h"

namespace duzavide {

MethodChannel::MethodChannel(BinaryMessenger* messenger, const std::string& name,
                             const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void MethodChannel::SetMethodCallHandler(MethodCallHandler handler) const {
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  // The registration carries its own copies: this channel object may go away.
  const MethodCodec* codec = codec_;
  std::string name = name_;
  messenger_->SetMessageHandler(name_, [handler = std::move(handler), codec, name](
                                           const uint8_t* message, size_t size, BinaryReply reply) {
    auto result = std::make_unique<EngineMethodResult>(std::move(reply), codec);
    std::unique_ptr<MethodCall> call = codec->DecodeMethodCall(message, size);
    if (!call) {
      EmitLine("Unable to construct method call from message on channel " + name);
      result->NotImplemented();
      return;
    }
    handler(*call, std::move(result));
  });
}

}  // namespace duzavide
