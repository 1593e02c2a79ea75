// The bridge's frame assembly over the core's stream with arbitrary chunking.
// The input is a list of frame payloads followed by chunk sizes; the frames are
// written as the stream would carry them, cut into those chunks and fed to the
// assembler. Every frame must come out once, whole and in order, nothing else
// may come out, and nothing may be left pending.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "bridge/frame_assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Kept across inputs: frames near the size limit would otherwise make every
  // input map and unmap fresh pages.
  static std::vector<uint8_t> stream;
  static std::vector<std::pair<size_t, size_t>> frames;  // payload offset and length
  static std::vector<uint8_t> piece;
  stream.clear();
  frames.clear();

  FuzzedDataProvider input(data, size);
  const size_t frame_count = input.ConsumeIntegralInRange<size_t>(0, 12);
  for (size_t i = 0; i < frame_count; ++i) {
    // Mostly small payloads, now and then one up to the size limit.
    const bool large = input.ConsumeIntegralInRange<uint8_t>(0, 15) == 0;
    const size_t length =
        input.ConsumeIntegralInRange<size_t>(0, large ? duzavide::kMaxFramePayload : size_t{300});
    const std::vector<uint8_t> given = input.ConsumeBytes<uint8_t>(length);
    const size_t header_at = stream.size();
    stream.resize(header_at + duzavide::kFrameHeaderSize + length, static_cast<uint8_t>(i));
    duzavide::WriteFrameHeader(stream.data() + header_at, length);
    if (!given.empty()) {
      std::memcpy(stream.data() + header_at + duzavide::kFrameHeaderSize, given.data(),
                  given.size());
    }
    frames.emplace_back(header_at + duzavide::kFrameHeaderSize, length);
  }

  duzavide::FrameAssembler assembler;
  size_t next = 0;
  const auto on_frame = [&](const uint8_t* payload, size_t length) {
    if (next >= frames.size()) std::abort();
    const auto [offset, expected_length] = frames[next++];
    if (length != expected_length) std::abort();
    if (length > 0 && std::memcmp(payload, stream.data() + offset, length) != 0) std::abort();
  };
  size_t offset = 0;
  while (offset < stream.size()) {
    size_t chunk = input.remaining_bytes() > 0 ? input.ConsumeIntegralInRange<size_t>(1, 70000)
                                               : stream.size() - offset;
    if (chunk > stream.size() - offset) chunk = stream.size() - offset;
    // A copy, as the relay hands over its receive buffer and then reuses it.
    piece.assign(stream.begin() + static_cast<std::ptrdiff_t>(offset),
                 stream.begin() + static_cast<std::ptrdiff_t>(offset + chunk));
    assembler.Feed(piece.data(), piece.size(), on_frame);
    offset += chunk;
  }
  if (next != frames.size() || assembler.pending_size() != 0) std::abort();
  return 0;
}
