#include "channel/standard_method_codec.h"

#include <map>
#include <utility>

#include "base/line_sink.h"
#include "base/lock.h"
#include "channel/byte_streams.h"

namespace duzavide {
namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;
constexpr uint8_t kStringTag = 7;

// A text as the string value it is written as, without first copying it into
// one.
void WriteText(const StandardCodecSerializer& serializer, const std::string& text,
               ByteStreamWriter* stream) {
  stream->WriteByte(kStringTag);
  serializer.WriteSize(text.size(), stream);
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

size_t TextBound(const std::string& text) { return 5 + 1 + text.size(); }

// A message vector with room for `bound` bytes, so that writing it allocates
// once.
std::unique_ptr<std::vector<uint8_t>> MessageOf(size_t bound) {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(bound);
  return bytes;
}

}  // namespace

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::GetInstance();
  // Codecs are never removed, so references handed out stay valid until exit.
  static Lock lock;
  static std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>> codecs;
  AutoLock hold(lock);
  std::unique_ptr<StandardMethodCodec>& codec = codecs[serializer];
  if (!codec) codec.reset(new StandardMethodCodec(serializer));
  return *codec;
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

std::unique_ptr<MethodCall> StandardMethodCodec::DecodeMethodCallInternal(const uint8_t* message,
                                                                          size_t size) const {
  ByteBufferStreamReader stream(message, size);
  EncodableValue name = serializer_->ReadValue(&stream);
  auto* method_name = std::get_if<std::string>(&name);
  if (method_name == nullptr) {
    EmitLine("Invalid method call; method name is not a string.");
    return nullptr;
  }
  // Anything after the arguments is ignored.
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  return std::make_unique<MethodCall>(std::move(*method_name), std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall& call) const {
  const EncodableValue* arguments = call.arguments();
  auto bytes = MessageOf(TextBound(call.method_name()) +
                         (arguments != nullptr ? serializer_->EncodedSizeBound(*arguments) : 1));
  ByteBufferStreamWriter stream(bytes.get());
  WriteText(*serializer_, call.method_name(), &stream);
  if (arguments != nullptr) {
    serializer_->WriteValue(*arguments, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessReplyInternal(
    const EncodableValue* result) const {
  auto bytes = MessageOf(1 + (result != nullptr ? serializer_->EncodedSizeBound(*result) : 1));
  ByteBufferStreamWriter stream(bytes.get());
  stream.WriteByte(kSuccessEnvelope);
  if (result != nullptr) {
    serializer_->WriteValue(*result, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorReplyInternal(
    const std::string& code, const std::string& message, const EncodableValue* details) const {
  auto bytes = MessageOf(1 + TextBound(code) + TextBound(message) +
                         (details != nullptr ? serializer_->EncodedSizeBound(*details) : 1));
  ByteBufferStreamWriter stream(bytes.get());
  stream.WriteByte(kErrorEnvelope);
  WriteText(*serializer_, code, &stream);
  if (message.empty()) {
    serializer_->WriteValue(EncodableValue(), &stream);
  } else {
    WriteText(*serializer_, message, &stream);
  }
  if (details != nullptr) {
    serializer_->WriteValue(*details, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return bytes;
}

bool StandardMethodCodec::DecodeReplyInternal(const uint8_t* reply, size_t size,
                                              MethodResult* result) const {
  // The engine answers a message that nobody handled with no bytes at all.
  if (reply == nullptr || size == 0) {
    result->NotImplemented();
    return true;
  }
  ByteBufferStreamReader stream(reply, size);
  const uint8_t envelope = stream.ReadByte();
  if (envelope == kSuccessEnvelope) {
    EncodableValue value = serializer_->ReadValue(&stream);
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (envelope == kErrorEnvelope) {
    EncodableValue code = serializer_->ReadValue(&stream);
    EncodableValue message = serializer_->ReadValue(&stream);
    EncodableValue details = serializer_->ReadValue(&stream);
    const auto* code_text = std::get_if<std::string>(&code);
    const auto* message_text = std::get_if<std::string>(&message);
    // The messenger's callback reaches this from the engine, where nothing may
    // throw: a malformed envelope is a failed decode, not an exception.
    if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) {
      EmitLine(kInvalidErrorReplyMessage);
      return false;
    }
    const std::string no_message;
    result->Error(*code_text, message_text != nullptr ? *message_text : no_message,
                  details.IsNull() ? nullptr : &details);
    return true;
  }
  return false;
}

}  // namespace duzavide
