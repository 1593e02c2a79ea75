#ifndef CHANNEL_STANDARD_CODEC_SERIALIZER_H_
#define CHANNEL_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "channel/byte_streams.h"
#include "channel/encodable_value.h"

namespace duzavide {

// Turns one EncodableValue into the standard message format and back: a type
// tag byte, then the payload, numbers little-endian, alignment counted from the
// start of the message. Stateless and safe to share between threads; one
// default instance lives from first use until exit.
//
// Reading is safe on any input. Failures write one line each to standard error
// and yield null or empty values:
//  - a declared size (or element count) larger than the remaining bytes could
//    hold is never allocated: it reads as an empty value of its kind after one
//    kInvalidReadMessage line; a list or map whose remaining elements no longer
//    fit in the remaining bytes stops there the same way;
//  - lists and maps nest at most kMaxNestingDepth levels; a deeper one reads
//    as null after one kNestingTooDeepMessage line, and the enclosing lists and
//    maps stop reading, so the rest of that top-level value is left unread.
class StandardCodecSerializer {
 public:
  static constexpr int kMaxNestingDepth = 256;

  StandardCodecSerializer();
  virtual ~StandardCodecSerializer();

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide default serializer.
  static const StandardCodecSerializer& GetInstance();

  // Writes the tag and payload of `value`. A custom holder writes null after a
  // diagnostic line.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads the payload of a value whose tag is `type`. An unknown tag reads as
  // null after a diagnostic line; reading goes on with the next byte.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Reads a tag, then its payload. Past the end this is null.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // At least as many bytes as WriteValue writes for `value` wherever it lies in
  // a message (padding counted at its widest), for reserving room once before
  // writing. A custom holder counts as the null it is written as.
  static size_t EncodedSizeBound(const EncodableValue& value);

  // Sizes: 0..253 in one byte; up to 65535 as 254 and two bytes; above as 255
  // and the low 32 bits in four bytes.
  size_t ReadSize(ByteStreamReader* stream) const;
  void WriteSize(size_t size, ByteStreamWriter* stream) const;
};

// The line written when a value nests deeper than the serializer reads.
inline constexpr char kNestingTooDeepMessage[] =
    "Value nested deeper than 256 lists or maps in StandardCodecSerializer::ReadValueOfType; "
    "read as null";

}  // namespace duzavide

#endif  // CHANNEL_STANDARD_CODEC_SERIALIZER_H_
