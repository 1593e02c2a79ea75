#include "standins/engine/control_channel_client.h"

#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "channel/standard_method_codec.h"

namespace duzavide::standin {
namespace {

constexpr char kControlChannel[] = "vur.izir.uzo/vpn";

// Receives one decoded reply envelope.
class CapturedReply : public MethodResult {
 public:
  bool succeeded = false;
  std::optional<EncodableValue> value;
  std::string error;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    succeeded = true;
    if (result != nullptr) value = *result;
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue*) override {
    error = "error " + code + (message.empty() ? "" : ": " + message);
  }
  void NotImplementedInternal() override { error = "not implemented"; }
};

}  // namespace

bool ControlChannelClient::Call(const std::string& method,
                                std::unique_ptr<EncodableValue> arguments,
                                SuccessCallback on_success, FailureCallback on_failure) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  std::unique_ptr<std::vector<uint8_t>> message =
      codec.EncodeMethodCall(MethodCall(method, std::move(arguments)));
  auto on_reply = [&codec, method, on_success = std::move(on_success),
                   on_failure = std::move(on_failure)](const uint8_t* data, size_t size) {
    CapturedReply reply;
    bool decoded = false;
    if (size == 0) {
      reply.error = "not implemented";
      decoded = true;
    } else {
      decoded = codec.DecodeReply(data, size, &reply);
    }
    if (decoded && reply.succeeded) {
      if (on_success) on_success(reply.value ? &*reply.value : nullptr);
    } else if (on_failure) {
      on_failure(method + ": " + (decoded ? reply.error : "undecodable reply"));
    }
  };
  return engine_->DeliverToHost(kControlChannel, message->data(), message->size(),
                                std::move(on_reply));
}

}  // namespace duzavide::standin
