#include "channel/standard_codec_serializer.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace duzavide {
namespace {

enum Tag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLegacyString = 5,  // read as a string, never written
  kDouble = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kDoubleList = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Growth beyond this is left to the vector, so a list can never reserve much
// more than the elements actually read, even when many nested lists are open.
constexpr size_t kListReserveLimit = 64;

// Nesting of the lists and maps being read on this thread. Kept per thread
// rather than in the serializer, which is shared and const.
struct ReadNesting {
  int depth = 0;
  // Set when a too-deep value was met: every open list and map stops reading.
  bool abandoned = false;
};

thread_local ReadNesting read_nesting;

class NestingScope {
 public:
  NestingScope() { ++read_nesting.depth; }
  ~NestingScope() {
    if (--read_nesting.depth == 0) read_nesting.abandoned = false;
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
};

void ReportInvalidRead() { std::cerr << kInvalidReadMessage << '\n'; }

std::string ReadString(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t size = serializer.ReadSize(stream);
  if (size > stream->RemainingBytes()) {
    ReportInvalidRead();
    return std::string();
  }
  std::string text(size, '\0');
  stream->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), size);
  return text;
}

template <typename T>
std::vector<T> ReadNumberList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSize(stream);
  if constexpr (sizeof(T) > 1) stream->ReadAlignment(sizeof(T));
  if (count > stream->RemainingBytes() / sizeof(T)) {
    ReportInvalidRead();
    return std::vector<T>();
  }
  std::vector<T> numbers(count);
  stream->ReadBytes(reinterpret_cast<uint8_t*>(numbers.data()), count * sizeof(T));
  return numbers;
}

template <typename T>
void WriteNumberList(const StandardCodecSerializer& serializer, Tag tag,
                     const std::vector<T>& numbers, ByteStreamWriter* stream) {
  stream->WriteByte(tag);
  serializer.WriteSize(numbers.size(), stream);
  if (numbers.empty()) return;
  if constexpr (sizeof(T) > 1) stream->WriteAlignment(sizeof(T));
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(numbers.data()), numbers.size() * sizeof(T));
}

// True while another entry of `bytes_each` bytes at least can still be read
// for the `left` entries that remain; otherwise reports the short message.
bool EntriesFit(size_t left, size_t bytes_each, const ByteStreamReader* stream) {
  if (read_nesting.abandoned) return false;
  if (left > stream->RemainingBytes() / bytes_each) {
    ReportInvalidRead();
    return false;
  }
  return true;
}

EncodableValue ReadList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSize(stream);
  NestingScope scope;
  EncodableList list;
  // Every element takes at least its tag byte.
  if (!EntriesFit(count, 1, stream)) return EncodableValue(std::move(list));
  list.reserve(std::min(count, kListReserveLimit));
  for (size_t i = 0; i < count && EntriesFit(count - i, 1, stream); ++i) {
    list.push_back(serializer.ReadValue(stream));
  }
  return EncodableValue(std::move(list));
}

EncodableValue ReadMap(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSize(stream);
  NestingScope scope;
  EncodableMap map;
  // Every entry takes at least a key tag and a value tag.
  for (size_t i = 0; i < count && EntriesFit(count - i, 2, stream); ++i) {
    EncodableValue key = serializer.ReadValue(stream);
    EncodableValue value = serializer.ReadValue(stream);
    // emplace keeps the entry already present: the first occurrence wins.
    map.emplace(std::move(key), std::move(value));
  }
  return EncodableValue(std::move(map));
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(stream->ReadInt32());
    case kInt64:
      return EncodableValue(stream->ReadInt64());
    case kDouble:
      stream->ReadAlignment(8);
      return EncodableValue(stream->ReadDouble());
    case kLegacyString:
    case kString:
      return EncodableValue(ReadString(*this, stream));
    case kUint8List:
      return EncodableValue(ReadNumberList<uint8_t>(*this, stream));
    case kInt32List:
      return EncodableValue(ReadNumberList<int32_t>(*this, stream));
    case kInt64List:
      return EncodableValue(ReadNumberList<int64_t>(*this, stream));
    case kDoubleList:
      return EncodableValue(ReadNumberList<double>(*this, stream));
    case kFloat32List:
      return EncodableValue(ReadNumberList<float>(*this, stream));
    case kList:
    case kMap:
      if (read_nesting.depth >= kMaxNestingDepth) {
        if (!read_nesting.abandoned) std::cerr << kNestingTooDeepMessage << '\n';
        read_nesting.abandoned = true;
        return EncodableValue();
      }
      return type == kList ? ReadList(*this, stream) : ReadMap(*this, stream);
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
                << static_cast<int>(type) << '\n';
      return EncodableValue();
  }
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < 254) return first;
  if (first == 254) {
    uint16_t size = 0;
    stream->ReadBytes(reinterpret_cast<uint8_t*>(&size), sizeof(size));
    return size;
  }
  uint32_t size = 0;
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&size), sizeof(size));
  return size;
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xffff) {
    stream->WriteByte(254);
    const uint16_t value = static_cast<uint16_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  } else {
    stream->WriteByte(255);
    const uint32_t value = static_cast<uint32_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  }
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  switch (value.index()) {
    case 0:
      stream->WriteByte(kNull);
      return;
    case 1:
      stream->WriteByte(std::get<bool>(value) ? kTrue : kFalse);
      return;
    case 2:
      stream->WriteByte(kInt32);
      stream->WriteInt32(std::get<int32_t>(value));
      return;
    case 3:
      stream->WriteByte(kInt64);
      stream->WriteInt64(std::get<int64_t>(value));
      return;
    case 4:
      stream->WriteByte(kDouble);
      stream->WriteAlignment(8);
      stream->WriteDouble(std::get<double>(value));
      return;
    case 5: {
      const auto& text = std::get<std::string>(value);
      stream->WriteByte(kString);
      WriteSize(text.size(), stream);
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      return;
    }
    case 6:
      WriteNumberList(*this, kUint8List, std::get<std::vector<uint8_t>>(value), stream);
      return;
    case 7:
      WriteNumberList(*this, kInt32List, std::get<std::vector<int32_t>>(value), stream);
      return;
    case 8:
      WriteNumberList(*this, kInt64List, std::get<std::vector<int64_t>>(value), stream);
      return;
    case 9:
      WriteNumberList(*this, kDoubleList, std::get<std::vector<double>>(value), stream);
      return;
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      stream->WriteByte(kList);
      WriteSize(list.size(), stream);
      for (const EncodableValue& element : list) WriteValue(element, stream);
      return;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      stream->WriteByte(kMap);
      WriteSize(map.size(), stream);
      for (const auto& [key, entry] : map) {
        WriteValue(key, stream);
        WriteValue(entry, stream);
      }
      return;
    }
    case 12:
      std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                << "Custom types require codec extensions." << '\n';
      stream->WriteByte(kNull);
      return;
    case 13:
      WriteNumberList(*this, kFloat32List, std::get<std::vector<float>>(value), stream);
      return;
  }
}

}  // namespace duzavide
