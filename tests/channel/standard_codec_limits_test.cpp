// Reading damaged, truncated and hostile messages: every case stays bounded in
// memory and stack, yields a safe value and reports on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/standard_codec_serializer.h"
#include "channel/standard_method_codec.h"
#include "tests/channel/codec_test_util.h"

namespace duzavide {
namespace {

using testing_util::Bytes;
using testing_util::Concat;
using testing_util::Decode;
using testing_util::Lines;
using testing_util::Text;

const std::string kInvalidRead = kInvalidReadMessage;

TEST(StandardCodecLimitsTest, TruncatedValues) {
  const struct {
    const char* name;
    Bytes bytes;
    EncodableValue expected;
    int invalid_reads;
  } kCases[] = {
      {"empty message", {}, EncodableValue(), 1},
      {"int32 cut short", {0x03, 0x01}, EncodableValue(int32_t{0}), 1},
      {"int64 cut short", {0x04, 1, 2, 3}, EncodableValue(int64_t{0}), 1},
      // The alignment itself moves past the end; the read then fails.
      {"double tag last", {0x06}, EncodableValue(0.0), 1},
      {"size missing", {0x07}, EncodableValue(""), 1},
      {"two-byte size cut short", {0x07, 0xFE, 0x01}, EncodableValue(""), 1},
      {"string shorter than its size", {0x07, 0x05, 'a'}, EncodableValue(""), 1},
      {"int32 list shorter than its size",
       {0x09, 0x02, 0x00, 0x00, 1, 0, 0, 0},
       EncodableValue(std::vector<int32_t>{}),
       1},
      {"list longer than the bytes left",
       {0x0C, 0x03, 0x01, 0x02},
       EncodableValue(EncodableList{}),
       1},
      {"list keeps what arrived",
       {0x0C, 0x02, 0x07, 0x01, 'a'},
       EncodableValue(EncodableList{"a"}),
       1},
      {"map keeps what arrived",
       {0x0D, 0x02, 0x07, 0x01, 'k', 0x01},
       EncodableValue(EncodableMap{{"k", true}}),
       1},
      {"map value missing",
       {0x0D, 0x01, 0x07, 0x01, 'k'},
       EncodableValue(EncodableMap{{"k", EncodableValue()}}),
       1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Decode(c.bytes), c.expected);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), Lines(kInvalidRead, c.invalid_reads));
  }
}

// Six bytes claiming about two thousand million elements. Allocating for the
// claim would take gigabytes (and trip the address sanitizer's allocator).
TEST(StandardCodecLimitsTest, HugeDeclaredSizeAllocatesNothing) {
  const struct {
    uint8_t tag;
    EncodableValue empty;
  } kCases[] = {
      {0x07, EncodableValue("")},
      {0x08, EncodableValue(std::vector<uint8_t>{})},
      {0x09, EncodableValue(std::vector<int32_t>{})},
      {0x0A, EncodableValue(std::vector<int64_t>{})},
      {0x0B, EncodableValue(std::vector<double>{})},
      {0x0C, EncodableValue(EncodableList{})},
      {0x0D, EncodableValue(EncodableMap{})},
      {0x0E, EncodableValue(std::vector<float>{})},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.tag));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Decode({c.tag, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), c.empty);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), Lines(kInvalidRead, 1));
  }
}

TEST(StandardCodecLimitsTest, HugeDeclaredListInsideCallAndReply) {
  const auto& codec = StandardMethodCodec::GetInstance();
  const Bytes call = Concat({{0x07, 0x07}, Text("connect"), {0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}});
  testing::internal::CaptureStderr();
  auto decoded = codec.DecodeMethodCall(call.data(), call.size());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), Lines(kInvalidRead, 1));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(*decoded->arguments(), EncodableValue(EncodableList{}));
}

// `depth` lists, each holding the next; the innermost holds `leaf`.
Bytes NestedLists(int depth, const Bytes& leaf) {
  Bytes bytes;
  for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0x0C, 0x01});
  bytes.insert(bytes.end(), leaf.begin(), leaf.end());
  return bytes;
}

// Counts nested single-element lists or maps (by their one value) iteratively.
int NestingOf(const EncodableValue& value, EncodableValue* leaf) {
  int depth = 0;
  const EncodableValue* current = &value;
  while (true) {
    if (const auto* list = std::get_if<EncodableList>(current); list && list->size() == 1) {
      current = &list->front();
    } else if (const auto* map = std::get_if<EncodableMap>(current); map && map->size() == 1) {
      current = &map->begin()->second;
    } else {
      break;
    }
    ++depth;
  }
  *leaf = *current;
  return depth;
}

TEST(StandardCodecLimitsTest, NestingIsBounded) {
  const int kLimit = StandardCodecSerializer::kMaxNestingDepth;
  Bytes maps;
  for (int i = 0; i < 100000; ++i) maps.insert(maps.end(), {0x0D, 0x01, 0x00});
  maps.push_back(0x01);
  // The innermost map's key is one level too deep; nothing after it is read.
  Bytes deep_key;
  for (int i = 0; i < kLimit; ++i) deep_key.insert(deep_key.end(), {0x0D, 0x01, 0x00});
  deep_key.resize(deep_key.size() - 1);
  deep_key.insert(deep_key.end(), {0x0D, 0x01, 0x01, 0x01});
  const struct {
    const char* name;
    Bytes bytes;
    int depth;
    EncodableValue leaf;
    std::string errors;
  } kCases[] = {
      {"at the limit", NestedLists(kLimit, {0x01}), kLimit, EncodableValue(true), ""},
      {"one past the limit", NestedLists(kLimit + 1, {0x01}), kLimit, EncodableValue(),
       Lines(kNestingTooDeepMessage, 1)},
      {"100000 lists", NestedLists(100000, {0x01}), kLimit, EncodableValue(),
       Lines(kNestingTooDeepMessage, 1)},
      {"100000 maps", maps, kLimit, EncodableValue(), Lines(kNestingTooDeepMessage, 1)},
      {"too-deep key", deep_key, kLimit, EncodableValue(), Lines(kNestingTooDeepMessage, 1)},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    const EncodableValue value = Decode(c.bytes);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.errors);
    EncodableValue leaf;
    EXPECT_EQ(NestingOf(value, &leaf), c.depth);
    EXPECT_EQ(leaf, c.leaf);
  }
}

TEST(StandardCodecLimitsTest, TooDeepValueStopsOnlyItsOwnMessage) {
  // Siblings after the too-deep value are not read (they would be read from
  // inside its bytes), so a thousand levels of two-element lists still give
  // one line.
  Bytes wide;
  for (int i = 0; i < 1000; ++i) wide.insert(wide.end(), {0x0C, 0x02});
  wide.push_back(0x01);
  testing::internal::CaptureStderr();
  const EncodableValue value = Decode(wide);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), Lines(kNestingTooDeepMessage, 1));
  EncodableValue leaf(true);
  EXPECT_EQ(NestingOf(value, &leaf), StandardCodecSerializer::kMaxNestingDepth);
  EXPECT_TRUE(leaf.IsNull());

  // The next message on the same thread reads normally again.
  testing::internal::CaptureStderr();
  EXPECT_EQ(Decode(NestedLists(3, {0x01})),
            EncodableValue(
                EncodableList{EncodableValue(EncodableList{EncodableValue(EncodableList{true})})}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(StandardCodecLimitsTest, DeepArgumentsStillGiveACall) {
  const Bytes call = Concat({{0x07, 0x01}, Text("m"), NestedLists(50000, {0x00})});
  testing::internal::CaptureStderr();
  auto decoded = StandardMethodCodec::GetInstance().DecodeMethodCall(call.data(), call.size());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), Lines(kNestingTooDeepMessage, 1));
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->method_name(), "m");
  EncodableValue leaf;
  EXPECT_EQ(NestingOf(*decoded->arguments(), &leaf), StandardCodecSerializer::kMaxNestingDepth);
}

}  // namespace
}  // namespace duzavide
