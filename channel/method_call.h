#ifndef CHANNEL_METHOD_CALL_H_
#define CHANNEL_METHOD_CALL_H_

#include <memory>
#include <string>

#include "channel/encodable_value.h"

namespace duzavide {

// One incoming call on a method channel: a method name and its arguments.
// Immutable once built. A call decoded from a message always carries an
// arguments value (null when the message carried none).
class MethodCall {
 public:
  MethodCall(std::string method_name, std::unique_ptr<EncodableValue> arguments);
  virtual ~MethodCall();

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  // Handlers compare the name byte-wise.
  const std::string& method_name() const { return method_name_; }

  // The owned arguments, or null when the call was built without any.
  const EncodableValue* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<EncodableValue> arguments_;
};

}  // namespace duzavide

#endif  // CHANNEL_METHOD_CALL_H_
