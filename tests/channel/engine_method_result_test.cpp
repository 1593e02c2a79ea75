#include "channel/engine_method_result.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/standard_method_codec.h"
#include "tests/channel/codec_test_util.h"

namespace duzavide {
namespace {

using testing_util::Bytes;
using testing_util::Hex;

const char kDuplicate[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";
const char kLeak[] = "Warning: Failed to respond to a message. This is a memory leak.\n";

struct SentReply {
  bool null_pointer;
  Bytes bytes;
};

BinaryReply Recorder(std::vector<SentReply>* sent) {
  return [sent](const uint8_t* reply, size_t size) {
    sent->push_back({reply == nullptr, reply ? Bytes(reply, reply + size) : Bytes()});
  };
}

TEST(EngineMethodResultTest, AnswersExactlyOnce) {
  const EncodableValue ok("ok");
  using Action = std::function<void(MethodResult&)>;
  const Action success_ok = [&ok](MethodResult& r) { r.Success(ok); };
  const Action success = [](MethodResult& r) { r.Success(); };
  const Action error = [](MethodResult& r) { r.Error("c", "m"); };
  const Action not_implemented = [](MethodResult& r) { r.NotImplemented(); };
  const struct {
    const char* name;
    std::vector<Action> actions;
    std::vector<std::string> sent;  // hex of each reply; "null" for a null pointer
    std::string errors;
  } kCases[] = {
      {"success with value", {success_ok}, {"00 07 02 6F 6B"}, ""},
      {"success without value", {success}, {"00 00"}, ""},
      {"error", {error}, {"01 07 01 63 07 01 6D 00"}, ""},
      {"not implemented", {not_implemented}, {"null"}, ""},
      {"success after error", {error, success}, {"01 07 01 63 07 01 6D 00"}, kDuplicate},
      {"three answers",
       {not_implemented, success_ok, error},
       {"null"},
       std::string(kDuplicate) + kDuplicate},
      {"never answered", {}, {}, kLeak},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<SentReply> sent;
    testing::internal::CaptureStderr();
    {
      std::unique_ptr<MethodResult> result = std::make_unique<EngineMethodResult>(
          Recorder(&sent), &StandardMethodCodec::GetInstance());
      for (const Action& action : c.actions) action(*result);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.errors);
    std::vector<std::string> sent_text;
    for (const SentReply& reply : sent) {
      sent_text.push_back(reply.null_pointer ? "null" : Hex(reply.bytes));
    }
    EXPECT_EQ(sent_text, c.sent);
  }
}

TEST(OneShotReplyTest, NoBytesPassNullAndZero) {
  const std::vector<uint8_t> empty;
  const std::vector<uint8_t> two = {1, 2};
  const struct {
    const std::vector<uint8_t>* bytes;
    bool null_pointer;
    size_t size;
  } kCases[] = {{nullptr, true, 0}, {&empty, true, 0}, {&two, false, 2}};
  for (const auto& c : kCases) {
    bool called = false;
    const uint8_t* pointer = reinterpret_cast<const uint8_t*>(1);
    size_t size = 99;
    OneShotReply reply([&](const uint8_t* p, size_t n) {
      called = true;
      pointer = p;
      size = n;
    });
    reply.Send(c.bytes);
    EXPECT_TRUE(called);
    EXPECT_EQ(pointer == nullptr, c.null_pointer);
    EXPECT_EQ(size, c.size);
  }
}

TEST(OneShotReplyTest, SendFromInsideTheReplyIsADuplicate) {
  int calls = 0;
  std::unique_ptr<OneShotReply> reply;
  reply = std::make_unique<OneShotReply>([&](const uint8_t*, size_t) {
    ++calls;
    reply->Send(nullptr);
  });
  testing::internal::CaptureStderr();
  reply->Send(nullptr);
  reply.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicate);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace duzavide
