#include "channel/method_codec.h"

namespace duzavide {

MethodCodec::~MethodCodec() = default;

std::unique_ptr<MethodCall> MethodCodec::DecodeMethodCall(const uint8_t* message,
                                                          size_t size) const {
  return DecodeMethodCallInternal(message, size);
}

std::unique_ptr<std::vector<uint8_t>> MethodCodec::EncodeMethodCall(const MethodCall& call) const {
  return EncodeMethodCallInternal(call);
}

std::unique_ptr<std::vector<uint8_t>> MethodCodec::EncodeSuccessReply(
    const EncodableValue* result) const {
  return EncodeSuccessReplyInternal(result);
}

std::unique_ptr<std::vector<uint8_t>> MethodCodec::EncodeErrorReply(
    const std::string& code, const std::string& message, const EncodableValue* details) const {
  return EncodeErrorReplyInternal(code, message, details);
}

bool MethodCodec::DecodeReply(const uint8_t* reply, size_t size, MethodResult* result) const {
  return DecodeReplyInternal(reply, size, result);
}

}  // namespace duzavide
