#include "channel/method_result.h"

namespace duzavide {

MethodResult::~MethodResult() = default;

void MethodResult::Success(const EncodableValue& result) { SuccessInternal(&result); }

void MethodResult::Success() { SuccessInternal(nullptr); }

void MethodResult::Error(const std::string& code, const std::string& message,
                         const EncodableValue* details) {
  ErrorInternal(code, message, details);
}

void MethodResult::NotImplemented() { NotImplementedInternal(); }

}  // namespace duzavide
