#include "channel/standard_codec_serializer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <any>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/channel/codec_test_util.h"

namespace duzavide {
namespace {

using testing_util::Bytes;
using testing_util::Concat;
using testing_util::Decode;
using testing_util::Encode;
using testing_util::Hex;
using testing_util::Lines;
using testing_util::Text;
using testing_util::Zeros;

Bytes DoubleBytes(double value) {
  Bytes bytes(sizeof(value));
  std::memcpy(bytes.data(), &value, sizeof(value));
  return bytes;
}

// Every alternative, its exact bytes as the first value of a message, and the
// value read back from them.
TEST(StandardCodecSerializerTest, WritesEveryAlternativeAndReadsItBack) {
  const struct {
    const char* name;
    EncodableValue value;
    Bytes bytes;
  } kCases[] = {
      {"null", EncodableValue(), {0x00}},
      {"true", EncodableValue(true), {0x01}},
      {"false", EncodableValue(false), {0x02}},
      {"int32", EncodableValue(int32_t{-2}), {0x03, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"int64",
       EncodableValue(int64_t{0x0102030405060708}),
       {0x04, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01}},
      {"double", EncodableValue(1.0), Concat({{0x06}, Zeros(7), DoubleBytes(1.0)})},
      {"string", EncodableValue("ok"), {0x07, 0x02, 0x6F, 0x6B}},
      {"empty string", EncodableValue(""), {0x07, 0x00}},
      {"utf-8 string", EncodableValue("\xC3\xA9"), {0x07, 0x02, 0xC3, 0xA9}},
      {"bytes", EncodableValue(std::vector<uint8_t>{1, 255}), {0x08, 0x02, 0x01, 0xFF}},
      {"empty bytes", EncodableValue(std::vector<uint8_t>{}), {0x08, 0x00}},
      {"int32 list", EncodableValue(std::vector<int32_t>{1, -1}),
       Concat({{0x09, 0x02}, Zeros(2), {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}})},
      {"empty int32 list", EncodableValue(std::vector<int32_t>{}), {0x09, 0x00, 0x00, 0x00}},
      {"int64 list", EncodableValue(std::vector<int64_t>{-1}),
       Concat({{0x0A, 0x01}, Zeros(6), Bytes(8, 0xFF)})},
      {"empty int64 list", EncodableValue(std::vector<int64_t>{}),
       Concat({{0x0A, 0x00}, Zeros(6)})},
      {"double list", EncodableValue(std::vector<double>{2.5}),
       Concat({{0x0B, 0x01}, Zeros(6), DoubleBytes(2.5)})},
      {"empty double list", EncodableValue(std::vector<double>{}),
       Concat({{0x0B, 0x00}, Zeros(6)})},
      {"list",
       EncodableValue(EncodableList{true, "a", EncodableValue()}),
       {0x0C, 0x03, 0x01, 0x07, 0x01, 0x61, 0x00}},
      {"empty list", EncodableValue(EncodableList{}), {0x0C, 0x00}},
      {"map",
       EncodableValue(EncodableMap{{"k", int32_t{1}}}),
       {0x0D, 0x01, 0x07, 0x01, 0x6B, 0x03, 0x01, 0x00, 0x00, 0x00}},
      {"empty map", EncodableValue(EncodableMap{}), {0x0D, 0x00}},
      {"float list",
       EncodableValue(std::vector<float>{1.0f}),
       {0x0E, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F}},
      {"empty float list", EncodableValue(std::vector<float>{}), {0x0E, 0x00, 0x00, 0x00}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Hex(Encode(c.value)), Hex(c.bytes));
    EXPECT_EQ(Decode(c.bytes), c.value);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

// Alignment is counted from the start of the message, not of the value.
TEST(StandardCodecSerializerTest, PaddingDependsOnPositionInMessage) {
  const EncodableValue list(EncodableList{int32_t{7}, 0.5, std::vector<int32_t>{3}});
  const Bytes expected = Concat({{0x0C, 0x03, 0x03, 7, 0, 0, 0, 0x06},  // offset 8 is aligned
                                 DoubleBytes(0.5),
                                 {0x09, 0x01},
                                 Zeros(2),
                                 {3, 0, 0, 0}});
  EXPECT_EQ(Hex(Encode(list)), Hex(expected));
  EXPECT_EQ(Decode(expected), list);
}

// Each number list, empty and not, with its tag at every offset 0-7 (after that
// many nulls) and an int32 after it. Both readers skip to the element size after
// the size, n = 0 included, so the writer pads there too: an unpadded empty list
// would shift the int32 and everything after it.
TEST(StandardCodecSerializerTest, NumberListsArePaddedAtEveryOffset) {
  // Padding after a one-byte size, by the offset of the tag.
  static const size_t kNone[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  static const size_t kTo4[8] = {2, 1, 0, 3, 2, 1, 0, 3};
  static const size_t kTo8[8] = {6, 5, 4, 3, 2, 1, 0, 7};
  const struct {
    const char* name;
    uint8_t tag;
    const size_t* padding;
    EncodableValue empty;
    EncodableValue one;
    Bytes element;
  } kKinds[] = {
      {"bytes", 0x08, kNone, std::vector<uint8_t>{}, std::vector<uint8_t>{0xAB}, {0xAB}},
      {"int32",
       0x09,
       kTo4,
       std::vector<int32_t>{},
       std::vector<int32_t>{-2},
       {0xFE, 0xFF, 0xFF, 0xFF}},
      {"int64",
       0x0A,
       kTo8,
       std::vector<int64_t>{},
       std::vector<int64_t>{-2},
       {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"double",
       0x0B,
       kTo8,
       std::vector<double>{},
       std::vector<double>{1.5},
       {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
      {"float", 0x0E, kTo4, std::vector<float>{}, std::vector<float>{1.5f}, {0, 0, 0xC0, 0x3F}},
  };
  const auto& serializer = StandardCodecSerializer::GetInstance();
  const EncodableValue next(int32_t{5});
  for (const auto& kind : kKinds) {
    for (size_t offset = 0; offset < 8; ++offset) {
      for (bool empty : {true, false}) {
        SCOPED_TRACE(std::string(kind.name) + (empty ? " empty" : "") + " at " +
                     std::to_string(offset));
        const EncodableValue& list = empty ? kind.empty : kind.one;
        const Bytes expected = Concat({Zeros(offset),
                                       {kind.tag, empty ? uint8_t{0} : uint8_t{1}},
                                       Zeros(kind.padding[offset]),
                                       empty ? Bytes() : kind.element,
                                       {3, 5, 0, 0, 0}});
        Bytes bytes;
        ByteBufferStreamWriter writer(&bytes);
        for (size_t i = 0; i < offset; ++i) serializer.WriteValue(EncodableValue(), &writer);
        serializer.WriteValue(list, &writer);
        serializer.WriteValue(next, &writer);
        EXPECT_EQ(Hex(bytes), Hex(expected));

        testing::internal::CaptureStderr();
        ByteBufferStreamReader reader(expected.data(), expected.size());
        for (size_t i = 0; i < offset; ++i) EXPECT_TRUE(serializer.ReadValue(&reader).IsNull());
        EXPECT_EQ(serializer.ReadValue(&reader), list);
        EXPECT_EQ(serializer.ReadValue(&reader), next);
        EXPECT_EQ(reader.RemainingBytes(), 0u);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
      }
    }
  }
}

TEST(StandardCodecSerializerTest, ReaderSkipsPaddingAfterEmptyWideList) {
  // Null, an empty int32 list whose size ends at offset 5, then an int32 after
  // the three padding bytes the reader skips even though n = 0.
  const Bytes bytes = {0x0C, 0x03, 0x00, 0x09, 0x00, 0xAA, 0xAA, 0xAA, 0x03, 5, 0, 0, 0};
  const EncodableValue expected(EncodableList{EncodableValue(), std::vector<int32_t>{}, 5});
  EXPECT_EQ(Decode(bytes), expected);
}

TEST(StandardCodecSerializerTest, SizeEncodingAtBoundaries) {
  const struct {
    size_t size;
    Bytes prefix;
  } kCases[] = {
      {0, {0x00}},
      {253, {0xFD}},
      {254, {0xFE, 0xFE, 0x00}},
      {300, {0xFE, 0x2C, 0x01}},
      {65535, {0xFE, 0xFF, 0xFF}},
      {65536, {0xFF, 0x00, 0x00, 0x01, 0x00}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.size);
    const std::string text(c.size, 'x');
    const Bytes bytes = Encode(EncodableValue(text));
    ASSERT_EQ(bytes.size(), 1 + c.prefix.size() + c.size);
    EXPECT_EQ(Hex(Bytes(bytes.begin() + 1, bytes.begin() + 1 + c.prefix.size())), Hex(c.prefix));
    EXPECT_EQ(std::get<std::string>(Decode(bytes)), text);

    const EncodableValue numbers(std::vector<uint8_t>(c.size, 0x5A));
    EXPECT_EQ(Decode(Encode(numbers)), numbers);
    const EncodableValue list(EncodableList(c.size, EncodableValue(true)));
    EXPECT_EQ(Decode(Encode(list)), list);
  }
}

TEST(StandardCodecSerializerTest, SizeAboveFourBytesKeepsLowBits) {
  Bytes bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteSize(0x100000005ull, &writer);
  EXPECT_EQ(Hex(bytes), "FF 05 00 00 00");
}

TEST(StandardCodecSerializerTest, TagFiveReadsAsString) {
  EXPECT_EQ(Decode(Concat({{0x05, 0x03}, Text("abc")})), EncodableValue("abc"));
}

TEST(StandardCodecSerializerTest, UnknownTagReadsNullAndGoesOn) {
  const struct {
    uint8_t tag;
    const char* line;
  } kCases[] = {
      {15, "Unknown type in StandardCodecSerializer::ReadValueOfType: 15\n"},
      {255, "Unknown type in StandardCodecSerializer::ReadValueOfType: 255\n"},
  };
  for (const auto& c : kCases) {
    testing::internal::CaptureStderr();
    // Inside a list the next element is read from the very next byte.
    const EncodableValue value = Decode({0x0C, 0x02, c.tag, 0x01});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    EXPECT_EQ(value, EncodableValue(EncodableList{EncodableValue(), true}));
  }
}

TEST(StandardCodecSerializerTest, CustomValueWritesNull) {
  const EncodableValue value(EncodableList{CustomEncodableValue(std::any(42)), int32_t{1}});
  testing::internal::CaptureStderr();
  const Bytes bytes = Encode(value);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Unhandled custom type in StandardCodecSerializer::WriteValue. Custom types require "
            "codec extensions.\n");
  EXPECT_EQ(Hex(bytes), "0C 02 00 03 01 00 00 00");
}

TEST(StandardCodecSerializerTest, MapKeysWrittenInKeyOrder) {
  const EncodableValue stats(
      EncodableMap{{"uplinkBytes", int64_t{7}}, {"downlinkBytes", int64_t{5}}});
  const Bytes expected = Concat({{0x0D, 0x02, 0x07, 13},
                                 Text("downlinkBytes"),
                                 {0x04, 5, 0, 0, 0, 0, 0, 0, 0, 0x07, 11},
                                 Text("uplinkBytes"),
                                 {0x04, 7, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_EQ(Hex(Encode(stats)), Hex(expected));
}

TEST(StandardCodecSerializerTest, RepeatedMapKeyKeepsFirstEntry) {
  const struct {
    const char* name;
    Bytes bytes;
    EncodableValue expected;
  } kCases[] = {
      {"string key",
       {0x0D, 0x02, 0x07, 0x01, 'k', 0x03, 1, 0, 0, 0, 0x07, 0x01, 'k', 0x03, 2, 0, 0, 0},
       EncodableValue(EncodableMap{{"k", int32_t{1}}})},
      // Keys out of order, repeated ones carrying whole trees that are read
      // through (padding included) and dropped, then a key after them.
      {"other keys",
       {0x0D, 0x06,                                                    // six entries
        0x03, 3,    0,    0,   0, 0x01,                                // 3: true
        0x00, 0x02,                                                    // null: false
        0x03, 3,    0,    0,   0, 0x0C, 0x01, 0x0D, 0x01, 0x00,        // 3: [{null: ...
        0x0A, 0x01, 0,    0,   1, 0,    0,    0,    0,    0,    0, 0,  //     [1]}] dropped
        0x00, 0x07, 0x01, 'x',                                         // null: "x" dropped
        0x03, 1,    0,    0,   0, 0x00,                                // 1: null
        0x01, 0x03, 7,    0,   0, 0},                                  // true: 7
       EncodableValue(EncodableMap{{EncodableValue(), false},
                                   {true, int32_t{7}},
                                   {int32_t{1}, EncodableValue()},
                                   {int32_t{3}, true}})},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Decode(c.bytes), c.expected);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(StandardCodecSerializerTest, NestedTreeRoundTrips) {
  const EncodableValue tree(EncodableMap{
      {"wireguard", EncodableMap{{"mtu", int32_t{1200}}, {"keepalive", int64_t{25}}}},
      {int32_t{3}, EncodableList{std::vector<double>{1.5, -2}, std::vector<float>{0.25f}, ""}},
      {std::vector<uint8_t>{0}, EncodableMap{{EncodableValue(), false}}},
  });
  EXPECT_EQ(Decode(Encode(tree)), tree);
}

// A serializer extension reads its own tag anywhere in the tree, nested
// values included.
class ExtendedSerializer : public StandardCodecSerializer {
 public:
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type == 200) return EncodableValue("extension");
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
};

// A reader of another kind than the buffer reader, over the same bytes.
class VectorReader : public ByteStreamReader {
 public:
  explicit VectorReader(Bytes bytes) : bytes_(std::move(bytes)) {}
  uint8_t ReadByte() override { return position_ < bytes_.size() ? bytes_[position_++] : 0; }
  void ReadBytes(uint8_t* buffer, size_t length) override {
    if (length > RemainingBytes()) return;
    std::copy_n(bytes_.begin() + position_, length, buffer);
    position_ += length;
  }
  void ReadAlignment(uint8_t alignment) override {
    position_ = (position_ + alignment - 1) / alignment * alignment;
  }
  size_t RemainingBytes() const override {
    return position_ < bytes_.size() ? bytes_.size() - position_ : 0;
  }

 private:
  Bytes bytes_;
  size_t position_ = 0;
};

TEST(StandardCodecSerializerTest, ExtensionsAndOtherReadersSeeNestedValues) {
  const Bytes bytes = {0x0C, 0x02, 0x0D, 0x01, 0xC8, 0xC8, 0x01};
  const ExtendedSerializer extended;
  VectorReader reader(bytes);
  EXPECT_EQ(extended.ReadValue(&reader),
            EncodableValue(EncodableList{EncodableMap{{"extension", "extension"}}, true}));

  const EncodableValue tree(EncodableList{0.25, EncodableMap{{"k", std::vector<int64_t>{-3}}}});
  VectorReader plain(Encode(tree));
  EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&plain), tree);
}

}  // namespace
}  // namespace duzavide
