// FrameAssembler cuts a byte stream of length-prefixed frames into whole frames.
//
// A frame is a 2-byte big-endian payload length L followed by L payload bytes; L = 0
// is allowed. Bytes of an incomplete frame are kept until the rest arrives. Whole
// frames are consumed by offset and the leftover is moved once per Feed, so the cost
// of a read is linear in its size however many frames it holds.
#ifndef BRIDGE_FRAME_ASSEMBLER_H_
#define BRIDGE_FRAME_ASSEMBLER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace duzavide {

inline constexpr size_t kFrameHeaderSize = 2;
inline constexpr size_t kMaxFramePayload = 65535;

// Writes the 2-byte big-endian header of a frame carrying `payload_size` bytes
// (at most kMaxFramePayload).
inline void WriteFrameHeader(uint8_t* at, size_t payload_size) {
  at[0] = static_cast<uint8_t>(payload_size >> 8);
  at[1] = static_cast<uint8_t>(payload_size & 0xFF);
}

class FrameAssembler {
 public:
  // Calls on_frame(const uint8_t* payload, size_t size) once for every frame that
  // `data` completes, in stream order, and keeps what is left. `data` must not point
  // into this assembler.
  template <typename OnFrame>
  void Feed(const uint8_t* data, size_t size, OnFrame&& on_frame) {
    if (pending_.empty()) {
      // The common case: frames are cut straight out of the caller's buffer.
      size_t used = CutFrames(data, size, on_frame);
      pending_.assign(data + used, data + size);
      return;
    }
    pending_.insert(pending_.end(), data, data + size);
    size_t used = CutFrames(pending_.data(), pending_.size(), on_frame);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
  }

  // Drops the bytes of an incomplete frame and releases their memory.
  void Clear() { std::vector<uint8_t>().swap(pending_); }
  size_t pending_size() const { return pending_.size(); }

 private:
  template <typename OnFrame>
  static size_t CutFrames(const uint8_t* data, size_t size, OnFrame& on_frame) {
    size_t offset = 0;
    while (size - offset >= kFrameHeaderSize) {
      size_t length = (static_cast<size_t>(data[offset]) << 8) | data[offset + 1];
      if (size - offset - kFrameHeaderSize < length) break;
      on_frame(data + offset + kFrameHeaderSize, length);
      offset += kFrameHeaderSize + length;
    }
    return offset;
  }

  std::vector<uint8_t> pending_;
};

}  // namespace duzavide

#endif  // BRIDGE_FRAME_ASSEMBLER_H_
