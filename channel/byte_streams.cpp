#include "channel/byte_streams.h"

#include <cstring>

#include "base/line_sink.h"

// Numbers travel little-endian and are copied as they lie in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the codec assumes a little-endian host");

namespace duzavide {

ByteStreamReader::~ByteStreamReader() = default;

ByteStreamWriter::~ByteStreamWriter() = default;

void ByteStreamWriter::WriteInt32(int32_t value) {
  WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
}

void ByteStreamWriter::WriteInt64(int64_t value) {
  WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
}

void ByteStreamWriter::WriteDouble(double value) {
  WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
}

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(bytes == nullptr ? 0 : size) {}

ByteBufferStreamReader::~ByteBufferStreamReader() = default;

void ReportInvalidRead() { EmitLine(kInvalidReadMessage); }

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = position_ % alignment;
  if (remainder != 0) position_ += alignment - remainder;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

ByteBufferStreamWriter::~ByteBufferStreamWriter() = default;

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = buffer_->size() % alignment;
  if (remainder != 0) buffer_->insert(buffer_->end(), alignment - remainder, 0);
}

}  // namespace duzavide
