// Arbitrary bytes as a method call and as a reply envelope. Whatever decodes is
// encoded again, so the writer sees every shape the reader can build, and the
// encoding is decoded once more. A reply's value is written by the same writer,
// so encoding it as well would only repeat the work.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>
#include <variant>

#include "channel/method_result.h"
#include "channel/standard_method_codec.h"

namespace {

class IgnoringResult : public duzavide::MethodResult {
 protected:
  void SuccessInternal(const duzavide::EncodableValue*) override {}
  void ErrorInternal(const std::string&, const std::string&,
                     const duzavide::EncodableValue*) override {}
  void NotImplementedInternal() override {}
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Damaged input makes the codec write a diagnostic line per failed read;
  // writing them would only slow the run. Sanitizer reports do not use cerr.
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = duzavide::StandardMethodCodec::GetInstance();

  if (auto call = codec.DecodeMethodCall(data, size)) {
    auto bytes = codec.EncodeMethodCall(*call);
    auto again = codec.DecodeMethodCall(bytes->data(), bytes->size());
    // The name always survives a round trip.
    if (!again || again->method_name() != call->method_name()) __builtin_trap();
  }

  IgnoringResult result;
  try {
    codec.DecodeReply(data, size, &result);
  } catch (const std::bad_variant_access&) {
    // An error envelope whose code or message has the wrong kind.
  }
  return 0;
}
