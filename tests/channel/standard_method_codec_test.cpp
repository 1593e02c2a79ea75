#include "channel/standard_method_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/channel/codec_test_util.h"

namespace duzavide {
namespace {

using testing_util::Bytes;
using testing_util::Concat;
using testing_util::Hex;
using testing_util::Lines;
using testing_util::Text;
using testing_util::Zeros;

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

// Remembers what DecodeReply passed on.
class RecordingResult : public MethodResult {
 public:
  std::string kind;  // "", "success", "error" or "not implemented"
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;
  std::optional<EncodableValue> details;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    kind = "success";
    if (result != nullptr) value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue* error_details) override {
    kind = "error";
    code = error_code;
    message = error_message;
    if (error_details != nullptr) details = *error_details;
  }
  void NotImplementedInternal() override { kind = "not implemented"; }
};

TEST(StandardMethodCodecTest, EncodesCalls) {
  const struct {
    const char* name;
    std::string method;
    std::unique_ptr<EncodableValue> arguments;
    Bytes bytes;
  } kCases[] = {
      {"no arguments", "isConnected", nullptr, Concat({{0x07, 0x0B}, Text("isConnected"), {0x00}})},
      {"null arguments", "m", std::make_unique<EncodableValue>(), {0x07, 0x01, 'm', 0x00}},
      {"map arguments",
       "m",
       std::make_unique<EncodableValue>(EncodableMap{{"a", true}}),
       {0x07, 0x01, 'm', 0x0D, 0x01, 0x07, 0x01, 'a', 0x01}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    MethodCall call(c.method,
                    c.arguments ? std::make_unique<EncodableValue>(*c.arguments) : nullptr);
    const auto bytes = Codec().EncodeMethodCall(call);
    EXPECT_EQ(Hex(*bytes), Hex(c.bytes));
    const auto decoded = Codec().DecodeMethodCall(bytes->data(), bytes->size());
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->method_name(), c.method);
    ASSERT_NE(decoded->arguments(), nullptr);
    EXPECT_EQ(*decoded->arguments(), c.arguments ? *c.arguments : EncodableValue());
  }
}

TEST(StandardMethodCodecTest, DecodesCallsFromOddMessages) {
  const std::string kNotAString = "Invalid method call; method name is not a string.\n";
  const std::string kInvalidRead = std::string(kInvalidReadMessage) + "\n";
  const struct {
    const char* name;
    Bytes bytes;
    bool decodes;
    std::string method;
    EncodableValue arguments;
    std::string errors;
  } kCases[] = {
      {"name is an int32", {0x03, 1, 0, 0, 0, 0x00}, false, "", EncodableValue(), kNotAString},
      {"name is null", {0x00, 0x07, 0x01, 'm'}, false, "", EncodableValue(), kNotAString},
      {"empty message", {}, false, "", EncodableValue(), kInvalidRead + kNotAString},
      {"ends right after the name",
       {0x07, 0x02, 'h', 'i'},
       true,
       "hi",
       EncodableValue(),
       kInvalidRead},
      {"trailing bytes ignored",
       {0x07, 0x01, 'm', 0x01, 0xFF, 0xFF},
       true,
       "m",
       EncodableValue(true),
       ""},
      {"tag 5 name", {0x05, 0x01, 'm', 0x02}, true, "m", EncodableValue(false), ""},
      {"empty name", {0x07, 0x00, 0x00}, true, "", EncodableValue(), ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    const auto call = Codec().DecodeMethodCall(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.errors);
    ASSERT_EQ(call != nullptr, c.decodes);
    if (!call) continue;
    EXPECT_EQ(call->method_name(), c.method);
    ASSERT_NE(call->arguments(), nullptr);
    EXPECT_EQ(*call->arguments(), c.arguments);
  }
}

TEST(StandardMethodCodecTest, EncodesReplies) {
  const EncodableValue ok("ok");
  const EncodableValue half(0.5);
  const EncodableValue seven(int32_t{7});
  Bytes half_bytes(8);
  const double half_value = 0.5;
  std::memcpy(half_bytes.data(), &half_value, sizeof(half_value));
  const struct {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> bytes;
    Bytes expected;
  } kCases[] = {
      {"success with text", Codec().EncodeSuccessReply(&ok), {0x00, 0x07, 0x02, 0x6F, 0x6B}},
      {"success without value", Codec().EncodeSuccessReply(), {0x00, 0x00}},
      {"double lands at offset 8", Codec().EncodeSuccessReply(&half),
       Concat({{0x00, 0x06}, Zeros(6), half_bytes})},
      {"error, empty message, no details", Codec().EncodeErrorReply("bad"),
       Concat({{0x01, 0x07, 0x03}, Text("bad"), {0x00, 0x00}})},
      {"error with all parts", Codec().EncodeErrorReply("bad", "why", &seven),
       Concat({{0x01, 0x07, 0x03}, Text("bad"), {0x07, 0x03}, Text("why"), {0x03, 7, 0, 0, 0}})},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hex(*c.bytes), Hex(c.expected));
  }
}

TEST(StandardMethodCodecTest, DecodesReplies) {
  const struct {
    const char* name;
    Bytes bytes;
    bool handled;
    std::string kind;
    std::optional<EncodableValue> value;
    std::string code;
    std::string message;
    std::optional<EncodableValue> details;
  } kCases[] = {
      {"success with text",
       {0x00, 0x07, 0x02, 'o', 'k'},
       true,
       "success",
       EncodableValue("ok"),
       "",
       "",
       std::nullopt},
      {"success with null", {0x00, 0x00}, true, "success", std::nullopt, "", "", std::nullopt},
      {"error with null message and details", Concat({{0x01, 0x07, 0x01}, Text("c"), {0x00, 0x00}}),
       true, "error", std::nullopt, "c", "", std::nullopt},
      {"error with all parts",
       Concat({{0x01, 0x07, 0x01}, Text("c"), {0x07, 0x01}, Text("m"), {0x01}}), true, "error",
       std::nullopt, "c", "m", EncodableValue(true)},
      {"unknown envelope", {0x02, 0x00}, false, "", std::nullopt, "", "", std::nullopt},
      {"empty message", {}, true, "not implemented", std::nullopt, "", "", std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    RecordingResult result;
    EXPECT_EQ(Codec().DecodeReply(c.bytes.data(), c.bytes.size(), &result), c.handled);
    EXPECT_EQ(result.kind, c.kind);
    EXPECT_EQ(result.value, c.value);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.message, c.message);
    EXPECT_EQ(result.details, c.details);
  }
}

// The engine's callback reaches DecodeReply, so a malformed envelope must not
// throw there.
TEST(StandardMethodCodecTest, ErrorReplyOfWrongShapeIsAFailedDecode) {
  const Bytes kCases[] = {
      {0x01, 0x03, 1, 0, 0, 0, 0x00, 0x00},             // code is an int32
      {0x01, 0x00, 0x00, 0x00},                         // code is null
      {0x01, 0x07, 0x01, 'c', 0x03, 1, 0, 0, 0, 0x00},  // message is an int32
  };
  for (const Bytes& bytes : kCases) {
    SCOPED_TRACE(Hex(bytes));
    RecordingResult result;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Codec().DecodeReply(bytes.data(), bytes.size(), &result));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), Lines(kInvalidErrorReplyMessage, 1));
    EXPECT_EQ(result.kind, "");
  }
}

TEST(StandardMethodCodecTest, OneCodecPerSerializer) {
  // The table keys codecs by serializer address, so these live until exit.
  static const StandardCodecSerializer other;
  EXPECT_EQ(&StandardMethodCodec::GetInstance(), &StandardMethodCodec::GetInstance(nullptr));
  EXPECT_EQ(&StandardMethodCodec::GetInstance(),
            &StandardMethodCodec::GetInstance(&StandardCodecSerializer::GetInstance()));
  const StandardMethodCodec* for_other = &StandardMethodCodec::GetInstance(&other);
  EXPECT_NE(for_other, &StandardMethodCodec::GetInstance());

  // Concurrent first requests still create a single codec.
  static const StandardCodecSerializer fresh;
  std::vector<const StandardMethodCodec*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &StandardMethodCodec::GetInstance(&fresh); });
  }
  for (auto& thread : threads) thread.join();
  for (const auto* codec : seen) EXPECT_EQ(codec, seen.front());
  EXPECT_EQ(&StandardMethodCodec::GetInstance(&other), for_other);
}

}  // namespace
}  // namespace duzavide
