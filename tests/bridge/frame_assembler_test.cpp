#include "bridge/frame_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/bridge/test_sockets.h"

namespace duzavide {
namespace {

TEST(FrameHeaderTest, LengthIsBigEndian) {
  struct Case {
    size_t size;
    uint8_t high, low;
  };
  for (const Case& c : std::vector<Case>{{0, 0x00, 0x00},
                                         {3, 0x00, 0x03},
                                         {256, 0x01, 0x00},
                                         {1400, 0x05, 0x78},
                                         {65535, 0xFF, 0xFF}}) {
    uint8_t header[2] = {0xAA, 0xAA};
    WriteFrameHeader(header, c.size);
    EXPECT_EQ(header[0], c.high) << c.size;
    EXPECT_EQ(header[1], c.low) << c.size;
  }
}

// Feeds the stream in the given pieces and records every frame reported.
std::vector<Bytes> FeedAll(FrameAssembler& assembler, const std::vector<Bytes>& pieces) {
  std::vector<Bytes> frames;
  for (const Bytes& piece : pieces) {
    assembler.Feed(piece.data(), piece.size(), [&](const uint8_t* payload, size_t size) {
      frames.emplace_back(payload, payload + size);
    });
  }
  return frames;
}

// Cuts `stream` into pieces that end at the given offsets.
std::vector<Bytes> Split(const Bytes& stream, const std::vector<size_t>& cuts) {
  std::vector<Bytes> pieces;
  size_t start = 0;
  for (size_t cut : cuts) {
    pieces.emplace_back(stream.begin() + start, stream.begin() + cut);
    start = cut;
  }
  pieces.emplace_back(stream.begin() + start, stream.end());
  return pieces;
}

TEST(FrameAssemblerTest, DeliversEachWholeFrameOnceInOrder) {
  const Bytes small{1, 2, 3};
  const Bytes big = Filled(65535, 9);
  const Bytes mid = Filled(1400, 4);
  struct Case {
    std::string name;
    std::vector<Bytes> frames;
    std::vector<size_t> cuts;  // piece boundaries in the framed stream
  };
  const std::vector<Case> cases = {
      {"one small frame", {small}, {}},
      {"largest frame in three reads", {big}, {1, 30000, 65000}},
      {"several frames in one read", {small, mid, small}, {}},
      {"header split between its bytes", {small, small}, {1, 5, 6}},
      {"every byte its own read", {small, Bytes{7}}, {1, 2, 3, 4, 5, 6, 7}},
      {"zero-length frames between others", {Bytes{}, small, Bytes{}, Bytes{}}, {3}},
      {"frames straddling reads", {mid, mid, small}, {1000, 1403, 2000}},
  };
  for (const Case& c : cases) {
    std::vector<Bytes> framed;
    for (const Bytes& frame : c.frames) framed.push_back(Frame(frame));
    FrameAssembler assembler;
    EXPECT_EQ(FeedAll(assembler, Split(Concat(framed), c.cuts)), c.frames) << c.name;
    EXPECT_EQ(assembler.pending_size(), 0u) << c.name;
  }
}

TEST(FrameAssemblerTest, KeepsAnIncompleteFrameUntilItsRestArrives) {
  FrameAssembler assembler;
  const Bytes stream = Concat({Frame({1, 2}), Frame({3, 4, 5})});
  EXPECT_EQ(FeedAll(assembler, {Bytes(stream.begin(), stream.end() - 1)}),
            (std::vector<Bytes>{{1, 2}}));
  EXPECT_EQ(assembler.pending_size(), 4u);
  EXPECT_EQ(FeedAll(assembler, {Bytes{stream.back()}}), (std::vector<Bytes>{{3, 4, 5}}));
  EXPECT_EQ(assembler.pending_size(), 0u);
}

TEST(FrameAssemblerTest, ClearDropsPartialBytes) {
  FrameAssembler assembler;
  FeedAll(assembler, {Bytes{0x00, 0x05, 1, 2}});
  assembler.Clear();
  EXPECT_EQ(assembler.pending_size(), 0u);
  // Stale bytes would have swallowed the start of this frame.
  EXPECT_EQ(FeedAll(assembler, {Frame({9, 9})}), (std::vector<Bytes>{{9, 9}}));
}

}  // namespace
}  // namespace duzavide
