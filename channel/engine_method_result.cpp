#include "channel/engine_method_result.h"

#include <memory>
#include <utility>

#include "base/line_sink.h"

namespace duzavide {

OneShotReply::OneShotReply(BinaryReply reply) : reply_(std::move(reply)) {}

OneShotReply::~OneShotReply() {
  if (reply_) {
    EmitLine("Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void OneShotReply::Send(const std::vector<uint8_t>* bytes) {
  if (!reply_) {
    EmitLine(
        "Error: Only one of Success, Error, or NotImplemented can be called, and it can be "
        "called exactly once. Ignoring duplicate result.");
    return;
  }
  // Emptied before the call, so an answer given from inside the reply
  // function is reported as a duplicate rather than sent twice.
  BinaryReply reply = std::move(reply_);
  reply_ = nullptr;
  const bool has_bytes = bytes != nullptr && !bytes->empty();
  reply(has_bytes ? bytes->data() : nullptr, has_bytes ? bytes->size() : 0);
}

EngineMethodResult::EngineMethodResult(BinaryReply reply, const MethodCodec* codec)
    : reply_(std::move(reply)), codec_(codec) {}

EngineMethodResult::~EngineMethodResult() = default;

void EngineMethodResult::SuccessInternal(const EncodableValue* result) {
  std::unique_ptr<std::vector<uint8_t>> bytes = codec_->EncodeSuccessReply(result);
  reply_.Send(bytes.get());
}

void EngineMethodResult::ErrorInternal(const std::string& code, const std::string& message,
                                       const EncodableValue* details) {
  std::unique_ptr<std::vector<uint8_t>> bytes = codec_->EncodeErrorReply(code, message, details);
  reply_.Send(bytes.get());
}

void EngineMethodResult::NotImplementedInternal() { reply_.Send(nullptr); }

}  // namespace duzavide
