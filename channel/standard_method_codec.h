#ifndef CHANNEL_STANDARD_METHOD_CODEC_H_
#define CHANNEL_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/method_codec.h"
#include "channel/standard_codec_serializer.h"

namespace duzavide {

// The standard method codec over one StandardCodecSerializer.
//  - call:    the name as a string value, then the arguments (null if none);
//  - success: byte 0, then the result (null if none);
//  - error:   byte 1, the code, the message (null when empty), the details
//             (null if none);
//  - not implemented: the empty message.
// Instances are process-wide, one per serializer, created on first request and
// kept until exit; obtain them only through GetInstance.
class StandardMethodCodec : public MethodCodec {
 public:
  // The codec for `serializer` (the default serializer when null); the same
  // object every time. Safe to call from any thread.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override;

 protected:
  std::unique_ptr<MethodCall> DecodeMethodCallInternal(const uint8_t* message,
                                                       size_t size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall& call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessReplyInternal(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorReplyInternal(
      const std::string& code, const std::string& message,
      const EncodableValue* details) const override;
  // An error code that is not a string, or a message that is neither a string
  // nor null, is a failed decode: false after one kInvalidErrorReplyMessage
  // line, `result` untouched.
  bool DecodeReplyInternal(const uint8_t* reply, size_t size, MethodResult* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

// The line written when an error reply's code or message has the wrong kind.
inline constexpr char kInvalidErrorReplyMessage[] =
    "Invalid error reply; the code is not a string or the message is neither a string nor null.";

}  // namespace duzavide

#endif  // CHANNEL_STANDARD_METHOD_CODEC_H_
