#ifndef CHANNEL_METHOD_CODEC_H_
#define CHANNEL_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/method_result.h"

namespace duzavide {

// Frames method calls and their replies as byte messages. The public
// operations forward to the protected virtual ones. Codecs are immutable and
// may be shared between threads.
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec();

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // The call in `message`, or null when it is not a valid call. The bytes are
  // read in place and need only live for the duration of the call.
  std::unique_ptr<MethodCall> DecodeMethodCall(const uint8_t* message, size_t size) const;

  // Encoders return a new vector owned by the caller.
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(const MethodCall& call) const;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReply(
      const EncodableValue* result = nullptr) const;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReply(
      const std::string& code, const std::string& message = "",
      const EncodableValue* details = nullptr) const;

  // Decodes a reply envelope and passes it to `result`. An empty reply is the
  // engine's "not implemented" answer and reaches `result` as such. False (and
  // `result` untouched) when the envelope is neither success nor error, or is
  // an error envelope whose parts have the wrong kinds. Never throws for any
  // bytes.
  bool DecodeReply(const uint8_t* reply, size_t size, MethodResult* result) const;

 protected:
  virtual std::unique_ptr<MethodCall> DecodeMethodCallInternal(const uint8_t* message,
                                                               size_t size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall& call) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReplyInternal(
      const EncodableValue* result) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorReplyInternal(
      const std::string& code, const std::string& message, const EncodableValue* details) const = 0;
  virtual bool DecodeReplyInternal(const uint8_t* reply, size_t size,
                                   MethodResult* result) const = 0;
};

}  // namespace duzavide

#endif  // CHANNEL_METHOD_CODEC_H_
