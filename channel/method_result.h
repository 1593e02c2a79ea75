#ifndef CHANNEL_METHOD_RESULT_H_
#define CHANNEL_METHOD_RESULT_H_

#include <functional>
#include <memory>
#include <string>

#include "channel/encodable_value.h"
#include "channel/method_call.h"

namespace duzavide {

// The reply handle that comes with each MethodCall. A handler answers through
// exactly one of Success, Error and NotImplemented, exactly once; it may answer
// at once or keep the result and answer later (from any thread the
// implementation allows). The public operations only forward to the virtual
// ones; the implementation that talks to the engine (EngineMethodResult) is
// what reports a second answer or a missing one on standard error.
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult();

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  // Success carrying `result`.
  void Success(const EncodableValue& result);
  // Success carrying null.
  void Success();
  // Error reply. An empty message and absent details travel as null.
  void Error(const std::string& code, const std::string& message = "",
             const EncodableValue* details = nullptr);
  // The empty reply, telling the caller that the method does not exist.
  void NotImplemented();

 protected:
  // `result` is null for a success without a value.
  virtual void SuccessInternal(const EncodableValue* result) = 0;
  // `details` is null when absent.
  virtual void ErrorInternal(const std::string& code, const std::string& message,
                             const EncodableValue* details) = 0;
  virtual void NotImplementedInternal() = 0;
};

// Handles one decoded call. Takes ownership of the result.
using MethodCallHandler =
    std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

}  // namespace duzavide

#endif  // CHANNEL_METHOD_RESULT_H_
