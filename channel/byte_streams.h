#ifndef CHANNEL_BYTE_STREAMS_H_
#define CHANNEL_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace duzavide {

// The line a reader writes to standard error when asked for bytes it does not
// have.
inline constexpr char kInvalidReadMessage[] = "Invalid read in StandardCodecByteStreamReader";

// Writes kInvalidReadMessage and an end of line to standard error.
void ReportInvalidRead();

// A read cursor over one message. Failed reads never throw: they report on
// standard error and yield zeros (see the implementation's contract).
class ByteStreamReader {
 public:
  virtual ~ByteStreamReader();

  // The next byte; past the end a diagnostic line and 0.
  virtual uint8_t ReadByte() = 0;
  // Copies `length` bytes into `buffer`, or nothing at all (with a diagnostic
  // line) when fewer remain.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Moves the position up to the next multiple of `alignment`, counted from
  // the start of the message. Does not test the bounds.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  // Bytes left between the position and the end (0 when the position is past
  // the end). Decoders check declared sizes against it before allocating.
  virtual size_t RemainingBytes() const = 0;
};

// An appending sink for one message.
class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter();

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Writes zero bytes until the output length is a multiple of `alignment`.
  virtual void WriteAlignment(uint8_t alignment) = 0;

  void WriteInt32(int32_t value);
  void WriteInt64(int64_t value);
  void WriteDouble(double value);
};

// Reads in place from a buffer that the caller keeps alive and unchanged for
// the reader's lifetime. The position starts at 0. Final, with the hot reads
// inline, so that decoders that know this type call them directly.
class ByteBufferStreamReader final : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);
  ~ByteBufferStreamReader() override;

  ByteBufferStreamReader(const ByteBufferStreamReader&) = delete;
  ByteBufferStreamReader& operator=(const ByteBufferStreamReader&) = delete;

  // At or past the end: writes kInvalidReadMessage, returns 0, position kept.
  uint8_t ReadByte() override {
    if (position_ >= size_) {
      ReportInvalidRead();
      return 0;
    }
    return bytes_[position_++];
  }

  // More than remain: writes kInvalidReadMessage, copies nothing (the
  // destination keeps its contents), position kept.
  void ReadBytes(uint8_t* buffer, size_t length) override {
    if (length > RemainingBytes()) {
      ReportInvalidRead();
      return;
    }
    if (length == 0) return;
    std::memcpy(buffer, bytes_ + position_, length);
    position_ += length;
  }

  // The next `length` bytes where they lie, moving past them; when fewer
  // remain, null after a diagnostic line, position kept.
  const uint8_t* ReadInPlace(size_t length) {
    if (length > RemainingBytes()) {
      ReportInvalidRead();
      return nullptr;
    }
    const uint8_t* bytes = bytes_ + position_;
    position_ += length;
    return bytes;
  }

  void ReadAlignment(uint8_t alignment) override;

  size_t RemainingBytes() const override { return position_ < size_ ? size_ - position_ : 0; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t position_ = 0;
};

// Appends to a vector that the caller owns and keeps alive for the writer's
// lifetime. Alignment is counted from the start of that vector.
class ByteBufferStreamWriter final : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);
  ~ByteBufferStreamWriter() override;

  ByteBufferStreamWriter(const ByteBufferStreamWriter&) = delete;
  ByteBufferStreamWriter& operator=(const ByteBufferStreamWriter&) = delete;

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace duzavide

#endif  // CHANNEL_BYTE_STREAMS_H_
