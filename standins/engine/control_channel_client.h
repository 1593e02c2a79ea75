// The stand-in application's end of the control channel: encodes method calls with
// the standard codec, delivers them through the engine's messenger and decodes the
// replies, exactly as the real application's bytes would travel.
#ifndef STANDINS_ENGINE_CONTROL_CHANNEL_CLIENT_H_
#define STANDINS_ENGINE_CONTROL_CHANNEL_CLIENT_H_

#include <functional>
#include <memory>
#include <string>

#include "channel/encodable_value.h"
#include "standins/engine/engine.h"

namespace duzavide::standin {

class ControlChannelClient {
 public:
  // Called with the success value (null for a success without one).
  using SuccessCallback = std::function<void(const EncodableValue* value)>;
  // Called with a short description when the reply is an error or not implemented.
  using FailureCallback = std::function<void(const std::string& description)>;

  explicit ControlChannelClient(Engine* engine) : engine_(engine) {}

  // False when the host has no handler on the control channel yet. The callbacks
  // run on the platform thread, at most one of them once, possibly before this
  // returns.
  bool Call(const std::string& method, std::unique_ptr<EncodableValue> arguments,
            SuccessCallback on_success, FailureCallback on_failure = nullptr);

 private:
  Engine* engine_;
};

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_CONTROL_CHANNEL_CLIENT_H_
