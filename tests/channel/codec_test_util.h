#ifndef TESTS_CHANNEL_CODEC_TEST_UTIL_H_
#define TESTS_CHANNEL_CODEC_TEST_UTIL_H_

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "channel/byte_streams.h"
#include "channel/encodable_value.h"
#include "channel/standard_codec_serializer.h"

namespace duzavide {
namespace testing_util {

using Bytes = std::vector<uint8_t>;

// Bytes from a readable mix of numbers and text: Concat({0x07, 0x02}, "ok").
inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes Zeros(size_t count) { return Bytes(count, 0); }

inline Bytes Encode(const EncodableValue& value) {
  Bytes bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

inline EncodableValue Decode(const Bytes& bytes) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

inline std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

// `count` copies of `line` followed by an end of line.
inline std::string Lines(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line + "\n";
  return text;
}

}  // namespace testing_util

// Readable failure output: the value's message bytes.
inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  *out << "value at position " << value.index() << " encoded as ["
       << testing_util::Hex(testing_util::Encode(value)) << "]";
}

}  // namespace duzavide

#endif  // TESTS_CHANNEL_CODEC_TEST_UTIL_H_
