// The messenger and method channel against the stand-in engine library: messages
// travel through the real engine C interface, answers come back through it.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "channel/binary_messenger_impl.h"
#include "channel/encodable_value.h"
#include "channel/engine_api/flutter_windows.h"
#include "channel/method_channel.h"
#include "channel/standard_method_codec.h"
#include "gtest/gtest.h"
#include "standins/engine/standin_hooks.h"

namespace duzavide {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr char kChannel[] = "vur.izir.uzo/vpn";
constexpr char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";

// What the application side saw of one message it sent to the host.
struct Delivery {
  bool delivered = false;
  int responses = 0;
  Bytes response;
};

void RecordResponse(const uint8_t* data, size_t size, void* user_data) {
  auto* delivery = static_cast<Delivery*>(user_data);
  ++delivery->responses;
  delivery->response.assign(data, data + size);
}

void PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 3000) {
  DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < timeout_ms) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(1);
  }
}

class MessengerTest : public testing::Test {
 protected:
  void SetUp() override {
    FlutterDesktopEngineProperties properties = {};
    properties.dart_entrypoint = "";
    engine_ = FlutterDesktopEngineCreate(&properties);
    ASSERT_NE(engine_, nullptr);
    messenger_handle_ = FlutterDesktopEngineGetMessenger(engine_);
    messenger_ = std::make_unique<BinaryMessengerImpl>(messenger_handle_);
    DuzavideStandinResetCallCounts();
  }

  void TearDown() override { EndEngine(); }

  void EndEngine() {
    if (engine_ != nullptr) FlutterDesktopEngineDestroy(engine_);
    engine_ = nullptr;
  }

  Delivery Deliver(const std::string& channel, const Bytes& message) {
    Delivery delivery;
    delivery.delivered =
        DuzavideStandinDeliverMessage(messenger_handle_, channel.c_str(), message.data(),
                                      message.size(), &RecordResponse, &delivery);
    return delivery;
  }

  FlutterDesktopEngineRef engine_ = nullptr;
  FlutterDesktopMessengerRef messenger_handle_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
};

BinaryMessageHandler AnswerWith(Bytes answer, std::vector<std::string>* calls, std::string name) {
  return [answer, calls, name](const uint8_t*, size_t, BinaryReply reply) {
    calls->push_back(name);
    reply(answer.data(), answer.size());
  };
}

TEST_F(MessengerTest, RegisteringReplacingAndRemovingReachTheEngine) {
  std::vector<std::string> calls;
  messenger_->SetMessageHandler("a.channel", AnswerWith({1}, &calls, "first"));
  Delivery first = Deliver("a.channel", {9});
  EXPECT_TRUE(first.delivered);
  EXPECT_EQ(first.response, Bytes({1}));

  messenger_->SetMessageHandler("a.channel", AnswerWith({2}, &calls, "second"));
  Delivery second = Deliver("a.channel", {9});
  EXPECT_EQ(second.response, Bytes({2}));

  // Another channel's registration is independent.
  EXPECT_FALSE(Deliver("b.channel", {9}).delivered);

  messenger_->SetMessageHandler("a.channel", nullptr);
  EXPECT_FALSE(Deliver("a.channel", {9}).delivered);
  EXPECT_EQ(calls, std::vector<std::string>({"first", "second"}));
}

TEST_F(MessengerTest, UndecodableMessageGetsEmptyReplyAndDiagnostics) {
  const std::string unable =
      "Unable to construct method call from message on channel vur.izir.uzo/vpn\n";
  const std::string not_string = "Invalid method call; method name is not a string.\n";
  struct Case {
    const char* name;
    Bytes message;
    std::string expected_stderr;
  } cases[] = {
      {"integer first", {0x03, 0x01, 0x00, 0x00, 0x00}, not_string + unable},
      {"null first", {0x00}, not_string + unable},
      {"empty message",
       {},
       "Invalid read in StandardCodecByteStreamReader\n" + not_string + unable},
  };
  MethodChannel channel(messenger_.get(), kChannel, &StandardMethodCodec::GetInstance());
  int handler_calls = 0;
  channel.SetMethodCallHandler(
      [&](const MethodCall&, std::unique_ptr<MethodResult>) { ++handler_calls; });
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    CaptureStderr();
    Delivery delivery = Deliver(kChannel, test.message);
    EXPECT_EQ(GetCapturedStderr(), test.expected_stderr);
    EXPECT_EQ(delivery.responses, 1);
    EXPECT_TRUE(delivery.response.empty());
  }
  EXPECT_EQ(handler_calls, 0);
}

TEST_F(MessengerTest, SecondAnswerIsNotSentAndReportedOnce) {
  struct Case {
    const char* name;
    std::function<void(MethodResult&)> answer_twice;
    Bytes expected_reply;
  } cases[] = {
      {"success then success",
       [](MethodResult& r) {
         r.Success(EncodableValue(true));
         r.Success(EncodableValue(false));
       },
       {0x00, 0x01}},
      {"error then success",
       [](MethodResult& r) {
         r.Error("E");
         r.Success();
       },
       {0x01, 0x07, 0x01, 'E', 0x00, 0x00}},
      {"not implemented then error",
       [](MethodResult& r) {
         r.NotImplemented();
         r.Error("E", "m");
       },
       {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    MethodChannel channel(messenger_.get(), kChannel, &StandardMethodCodec::GetInstance());
    channel.SetMethodCallHandler([&](const MethodCall&, std::unique_ptr<MethodResult> result) {
      test.answer_twice(*result);
    });
    const Bytes call = {0x07, 0x01, 'x', 0x00};
    CaptureStderr();
    Delivery delivery = Deliver(kChannel, call);
    EXPECT_EQ(GetCapturedStderr(), kDuplicateResult);
    EXPECT_EQ(delivery.responses, 1);
    EXPECT_EQ(delivery.response, test.expected_reply);
  }
}

TEST_F(MessengerTest, UnansweredResultWarnsAndSendsNothing) {
  MethodChannel channel(messenger_.get(), kChannel, &StandardMethodCodec::GetInstance());
  channel.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult>) {});
  CaptureStderr();
  Delivery delivery = Deliver(kChannel, {0x07, 0x01, 'x', 0x00});
  EXPECT_EQ(GetCapturedStderr(),
            "Warning: Failed to respond to a message. This is a memory leak.\n");
  EXPECT_TRUE(delivery.delivered);
  EXPECT_EQ(delivery.responses, 0);
}

TEST_F(MessengerTest, DuplicateRawResponseIsRefused) {
  BinaryReply kept;
  messenger_->SetMessageHandler(
      "raw", [&](const uint8_t*, size_t, BinaryReply reply) { kept = std::move(reply); });
  Delivery delivery = Deliver("raw", {1});
  const uint8_t answer[] = {7};
  // A copy of the reply function shares the answered state with the original.
  BinaryReply copy = kept;
  CaptureStderr();
  kept(answer, 1);
  copy(answer, 1);
  EXPECT_EQ(GetCapturedStderr(),
            "Error: Response can be set only once. Ignoring duplicate response.\n");
  EXPECT_EQ(delivery.responses, 1);
}

TEST_F(MessengerTest, ResponseAfterEngineEndedIsDroppedSilently) {
  BinaryReply kept;
  messenger_->SetMessageHandler(
      "raw", [&](const uint8_t*, size_t, BinaryReply reply) { kept = std::move(reply); });
  Delivery delivery = Deliver("raw", {1});
  EndEngine();
  const uint8_t answer[] = {7};
  CaptureStderr();
  kept(answer, 1);
  kept(answer, 1);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(delivery.responses, 0);
  // The reply function held the messenger alive; dropping it gives that back.
  kept = nullptr;
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopMessengerAddRef"), 1);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopMessengerRelease"), 1);
  EXPECT_EQ(DuzavideStandinCallCount("FlutterDesktopMessengerSendResponse"), 0);
}

TEST_F(MessengerTest, AnswerFromAnotherThreadArrivesOnce) {
  BinaryReply kept;
  messenger_->SetMessageHandler(
      "raw", [&](const uint8_t*, size_t, BinaryReply reply) { kept = std::move(reply); });
  Delivery delivery = Deliver("raw", {1});
  std::thread worker([&kept] {
    const uint8_t answer[] = {5, 6};
    kept(answer, sizeof(answer));
  });
  worker.join();
  PumpUntil([&delivery] { return delivery.responses > 0; });
  EXPECT_EQ(delivery.responses, 1);
  EXPECT_EQ(delivery.response, Bytes({5, 6}));
}

TEST_F(MessengerTest, HandlerMayRemoveItsOwnRegistrationWhileRunning) {
  int calls = 0;
  messenger_->SetMessageHandler("raw", [&](const uint8_t*, size_t, BinaryReply reply) {
    ++calls;
    messenger_->SetMessageHandler("raw", nullptr);
    const uint8_t answer[] = {3};
    reply(answer, sizeof(answer));
  });
  Delivery delivery = Deliver("raw", {1});
  EXPECT_EQ(delivery.response, Bytes({3}));
  EXPECT_FALSE(Deliver("raw", {1}).delivered);
  EXPECT_EQ(calls, 1);
}

TEST_F(MessengerTest, RefusedSendFreesTheReplyCopyAndNeverCallsIt) {
  auto token = std::make_shared<int>(0);
  int calls = 0;
  const uint8_t message[] = {1, 2, 3};
  messenger_->Send("nobody.listens", message, sizeof(message),
                   [token, &calls](const uint8_t*, size_t) { ++calls; });
  EXPECT_EQ(token.use_count(), 1);
  PumpUntil([] { return false; }, 50);
  EXPECT_EQ(calls, 0);
}

TEST_F(MessengerTest, AcceptedSendCallsTheReplyOnceThenFreesIt) {
  DuzavideStandinSetEchoListener(messenger_handle_, "echo", true);
  auto token = std::make_shared<int>(0);
  Bytes received;
  int calls = 0;
  const uint8_t message[] = {4, 5};
  messenger_->Send("echo", message, sizeof(message),
                   [token, &calls, &received](const uint8_t* data, size_t size) {
                     ++calls;
                     received.assign(data, data + size);
                   });
  EXPECT_EQ(calls, 0);  // answers come from the message loop
  PumpUntil([&] { return calls > 0; });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(received, Bytes({4, 5}));
  EXPECT_EQ(token.use_count(), 1);
}

}  // namespace
}  // namespace duzavide
