// Arbitrary bytes as a method call and as a reply envelope. Whatever decodes
// must come back whole from its own encoding: the call's name and arguments, a
// success value, an error's code, message and details. Values are compared
// node for node and numbers bit for bit, so each NaN equals itself and -0.0
// differs from 0.0 (the map-key order of EncodableValue would hide both).
// DecodeReply must not throw for any bytes, and it answers through the result
// exactly when it reports a decoded envelope.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/line_sink.h"
#include "channel/method_result.h"
#include "channel/standard_method_codec.h"
#include "fuzz/channel/value_identity.h"

namespace {

using duzavide::EncodableValue;
using duzavide::fuzzing::SameValue;

// Looked up once: every lookup takes the codec table's lock.
const duzavide::StandardMethodCodec& Codec() {
  static const duzavide::StandardMethodCodec& codec = duzavide::StandardMethodCodec::GetInstance();
  return codec;
}

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// What one DecodeReply passed on, valid while the result's call lasts.
struct Reply {
  enum Kind { kSuccess, kError, kNotImplemented } kind;
  const EncodableValue* value = nullptr;  // success value, or error details
  const std::string* code = nullptr;
  const std::string* message = nullptr;
};

// Hands each answer to `on_reply` and counts the answers.
template <typename OnReply>
class ForwardingResult : public duzavide::MethodResult {
 public:
  explicit ForwardingResult(OnReply on_reply) : on_reply_(on_reply) {}
  int answers() const { return answers_; }

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    Pass({Reply::kSuccess, result, nullptr, nullptr});
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    Pass({Reply::kError, details, &code, &message});
  }
  void NotImplementedInternal() override { Pass({Reply::kNotImplemented}); }

 private:
  void Pass(const Reply& reply) {
    ++answers_;
    on_reply_(reply);
  }
  OnReply on_reply_;
  int answers_ = 0;
};

template <typename OnReply>
int DecodeReply(const uint8_t* bytes, size_t size, OnReply on_reply, bool* decoded) {
  ForwardingResult<OnReply> result(on_reply);
  *decoded = Codec().DecodeReply(bytes, size, &result);
  return result.answers();
}

// Encodes `first` again and requires the encoding to decode to the same reply.
void RequireReplyRoundTrip(const Reply& first) {
  if (first.kind == Reply::kNotImplemented) return;  // the empty message
  const auto bytes = first.kind == Reply::kSuccess
                         ? Codec().EncodeSuccessReply(first.value)
                         : Codec().EncodeErrorReply(*first.code, *first.message, first.value);
  bool decoded = false;
  const int answers = DecodeReply(
      bytes->data(), bytes->size(),
      [&first](const Reply& again) {
        Require(again.kind == first.kind && SameValue(again.value, first.value));
        if (first.kind == Reply::kError) {
          Require(*again.code == *first.code && *again.message == *first.message);
        }
      },
      &decoded);
  Require(decoded && answers == 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Damaged input makes the codec write a diagnostic line per failed read;
  // writing them would only slow the run. Sanitizer reports do not use the sink.
  duzavide::SetLineSink([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (auto call = Codec().DecodeMethodCall(data, size)) {
    const auto bytes = Codec().EncodeMethodCall(*call);
    const auto again = Codec().DecodeMethodCall(bytes->data(), bytes->size());
    Require(again != nullptr && again->method_name() == call->method_name() &&
            SameValue(again->arguments(), call->arguments()));
  }

  bool decoded = false;
  const int answers = DecodeReply(data, size, RequireReplyRoundTrip, &decoded);
  Require(answers == (decoded ? 1 : 0));
  return 0;
}
