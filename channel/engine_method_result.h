#ifndef CHANNEL_ENGINE_METHOD_RESULT_H_
#define CHANNEL_ENGINE_METHOD_RESULT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "channel/binary_messenger.h"
#include "channel/encodable_value.h"
#include "channel/method_codec.h"
#include "channel/method_result.h"

namespace duzavide {

// Holds one reply function and lets it be used once. A second Send writes the
// duplicate-result line to standard error and sends nothing; destroying it
// unused writes the memory-leak warning (the engine's reply slot for the
// message is then never released). Not thread-safe: one owner at a time.
class OneShotReply {
 public:
  explicit OneShotReply(BinaryReply reply);
  ~OneShotReply();

  OneShotReply(const OneShotReply&) = delete;
  OneShotReply& operator=(const OneShotReply&) = delete;

  // Passes the bytes to the reply function and empties it. No bytes or an
  // empty vector pass a null pointer and 0.
  void Send(const std::vector<uint8_t>* bytes);

 private:
  BinaryReply reply_;
};

// The MethodResult handed to method-call handlers: encodes each answer with
// `codec` and sends it through a OneShotReply, so the answer goes out exactly
// once. `codec` is not owned and must outlive the result (the process-wide
// codecs do).
class EngineMethodResult : public MethodResult {
 public:
  EngineMethodResult(BinaryReply reply, const MethodCodec* codec);
  ~EngineMethodResult() override;

 protected:
  void SuccessInternal(const EncodableValue* result) override;
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override;
  void NotImplementedInternal() override;

 private:
  OneShotReply reply_;
  const MethodCodec* codec_;
};

}  // namespace duzavide

#endif  // CHANNEL_ENGINE_METHOD_RESULT_H_
