#include "channel/standard_codec_serializer.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "base/line_sink.h"

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
// more than the elements actually read, even when many nested lists are open
// or a count lies: room reserved from the bytes that remain would make every
// damaged count cost an allocation dozens of times the size of the message.
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

// Reads one value tree from `Reader`. With the concrete buffer reader every
// stream call is direct; with `direct` (no subclass overriding
// ReadValueOfType) nested values skip the virtual dispatch as well. Values are
// built in place inside their list or map, so nothing is moved after reading.
//
// Each read comes in two forms: kKeep builds the value into `out`; without it
// the value is only read through (the value of a repeated map key, which is
// dropped), with the same diagnostics, and nothing of it is built.
template <typename Reader>
class ValueDecoder {
 public:
  ValueDecoder(const StandardCodecSerializer& serializer, Reader* stream, bool direct)
      : serializer_(serializer), stream_(stream), direct_(direct) {}

  EncodableValue ReadValueOfType(uint8_t type) {
    EncodableValue value;
    ReadValueOfTypeInto<kKeep>(type, &value);
    return value;
  }

  size_t ReadSize() {
    const uint8_t first = stream_->ReadByte();
    if (first < 254) return first;
    if (first == 254) return ReadNumber<uint16_t>();
    return ReadNumber<uint32_t>();
  }

 private:
  static constexpr bool kKeep = true;
  static constexpr bool kDrop = false;
  static constexpr bool kInPlace = std::is_same_v<Reader, ByteBufferStreamReader>;

  template <bool keep, typename T>
  static void Put(EncodableValue* out, T value) {
    if constexpr (keep) out->emplace<T>(value);
  }

  // `out` is null on entry and stays null for a null, unknown or too-deep
  // value. Unused when the value is dropped.
  template <bool keep>
  void ReadValueInto(EncodableValue* out) {
    const uint8_t type = stream_->ReadByte();
    if (direct_) {
      ReadValueOfTypeInto<keep>(type, out);
    } else if constexpr (keep) {
      *out = serializer_.ReadValueOfType(type, stream_);
    } else {
      // An extension may read tags of its own; only it knows their length.
      serializer_.ReadValueOfType(type, stream_);
    }
  }

  template <bool keep>
  void ReadValueOfTypeInto(uint8_t type, EncodableValue* out) {
    switch (type) {
      case kNull:
        return;
      case kTrue:
        Put<keep>(out, true);
        return;
      case kFalse:
        Put<keep>(out, false);
        return;
      case kInt32:
        Put<keep>(out, ReadNumber<int32_t>());
        return;
      case kInt64:
        Put<keep>(out, ReadNumber<int64_t>());
        return;
      case kDouble:
        stream_->ReadAlignment(8);
        Put<keep>(out, ReadNumber<double>());
        return;
      case kLegacyString:
      case kString:
        ReadString<keep>(out);
        return;
      case kUint8List:
        ReadNumberList<keep, uint8_t>(out);
        return;
      case kInt32List:
        ReadNumberList<keep, int32_t>(out);
        return;
      case kInt64List:
        ReadNumberList<keep, int64_t>(out);
        return;
      case kDoubleList:
        ReadNumberList<keep, double>(out);
        return;
      case kFloat32List:
        ReadNumberList<keep, float>(out);
        return;
      case kList:
      case kMap:
        if (read_nesting.depth >= StandardCodecSerializer::kMaxNestingDepth) {
          if (!read_nesting.abandoned) EmitLine(kNestingTooDeepMessage);
          read_nesting.abandoned = true;
          return;
        }
        if (type == kList) {
          ReadList<keep>(out);
        } else {
          ReadMap<keep>(out);
        }
        return;
      default:
        EmitLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                 std::to_string(static_cast<int>(type)));
        return;
    }
  }

  // Zero when the bytes are missing.
  template <typename T>
  T ReadNumber() {
    T value{};
    stream_->ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
    return value;
  }

  template <bool keep>
  void ReadString(EncodableValue* out) {
    const size_t size = ReadSize();
    if (size > stream_->RemainingBytes()) {
      ReportInvalidRead();
      if constexpr (keep) out->emplace<std::string>();
      return;
    }
    if constexpr (kInPlace) {
      // Copied once, straight from the message.
      const auto* bytes = reinterpret_cast<const char*>(stream_->ReadInPlace(size));
      if constexpr (keep) out->emplace<std::string>(bytes, size);
    } else if constexpr (keep) {
      std::string& text = out->emplace<std::string>(size, '\0');
      stream_->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), size);
    } else {
      std::string text(size, '\0');
      stream_->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), size);
    }
  }

  template <bool keep, typename T>
  void ReadNumberList(EncodableValue* out) {
    const size_t count = ReadSize();
    if constexpr (sizeof(T) > 1) stream_->ReadAlignment(sizeof(T));
    if (count > stream_->RemainingBytes() / sizeof(T)) {
      ReportInvalidRead();
      if constexpr (keep) out->emplace<std::vector<T>>();
      return;
    }
    if constexpr (kInPlace && !keep) {
      stream_->ReadInPlace(count * sizeof(T));
    } else if constexpr (keep) {
      std::vector<T>& numbers = out->emplace<std::vector<T>>(count);
      stream_->ReadBytes(reinterpret_cast<uint8_t*>(numbers.data()), count * sizeof(T));
    } else {
      std::vector<T> numbers(count);
      stream_->ReadBytes(reinterpret_cast<uint8_t*>(numbers.data()), count * sizeof(T));
    }
  }

  // True while the `left` entries that remain, of at least `kBytesEach` bytes
  // each, can still fit in the bytes that remain; otherwise reports the short
  // message.
  template <size_t kBytesEach>
  bool EntriesFit(size_t left) {
    if (read_nesting.abandoned) return false;
    if (left > stream_->RemainingBytes() / kBytesEach) {
      ReportInvalidRead();
      return false;
    }
    return true;
  }

  template <bool keep>
  void ReadList(EncodableValue* out) {
    const size_t count = ReadSize();
    NestingScope scope;
    if constexpr (keep) {
      EncodableList& list = out->emplace<EncodableList>();
      // Every element takes at least its tag byte.
      if (!EntriesFit<1>(count)) return;
      list.reserve(std::min(count, kListReserveLimit));
      for (size_t i = 0; i < count && EntriesFit<1>(count - i); ++i) {
        ReadValueInto<kKeep>(&list.emplace_back());
      }
    } else {
      if (!EntriesFit<1>(count)) return;
      for (size_t i = 0; i < count && EntriesFit<1>(count - i); ++i) ReadValueInto<kDrop>(nullptr);
    }
  }

  template <bool keep>
  void ReadMap(EncodableValue* out) {
    const size_t count = ReadSize();
    NestingScope scope;
    if constexpr (keep) {
      EncodableMap& map = out->emplace<EncodableMap>();
      // Every entry takes at least a key tag and a value tag.
      for (size_t i = 0; i < count && EntriesFit<2>(count - i); ++i) ReadEntry(map);
    } else {
      for (size_t i = 0; i < count && EntriesFit<2>(count - i); ++i) {
        ReadValueInto<kDrop>(nullptr);
        if (read_nesting.abandoned) return;
        ReadValueInto<kDrop>(nullptr);
      }
    }
  }

  void ReadEntry(EncodableMap& map) {
    EncodableValue key;
    ReadValueInto<kKeep>(&key);
    // An abandoned key ends this map, and so every enclosing one: the bytes
    // after it belong to no value that is still being read.
    if (read_nesting.abandoned) {
      map.emplace(std::move(key), EncodableValue());
      return;
    }
    // Writers emit keys in order, so the end is the right place for almost
    // every key, found with one comparison. A key already present keeps its
    // entry (the first occurrence wins); the repeated entry's value is read
    // through and dropped. Keys other than strings, which the interface never
    // sends but damaged messages repeat in long runs, are looked up before a
    // node is made for them; a repeated string key costs a node freed at once,
    // which is cheaper than a second comparison for every string key.
    auto place = map.end();
    if (!map.empty() && !std::holds_alternative<std::string>(key) &&
        !(std::prev(place)->first < key)) {
      place = map.lower_bound(key);
      if (place != map.end() && !(key < place->first)) {
        ReadValueInto<kDrop>(nullptr);
        return;
      }
    }
    const size_t size_before = map.size();
    auto entry = map.emplace_hint(place, std::piecewise_construct,
                                  std::forward_as_tuple(std::move(key)), std::tuple<>());
    if (map.size() != size_before) {
      ReadValueInto<kKeep>(&entry->second);
    } else {
      ReadValueInto<kDrop>(nullptr);
    }
  }

  const StandardCodecSerializer& serializer_;
  Reader* stream_;
  const bool direct_;
};

template <typename T>
void WriteNumberList(const StandardCodecSerializer& serializer, Tag tag,
                     const std::vector<T>& numbers, ByteStreamWriter* stream) {
  stream->WriteByte(tag);
  serializer.WriteSize(numbers.size(), stream);
  // Padded even when empty: every reader skips to the element size after the
  // size, n = 0 included, so an unpadded empty list shifts every later value.
  if constexpr (sizeof(T) > 1) stream->WriteAlignment(sizeof(T));
  if (numbers.empty()) return;
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(numbers.data()), numbers.size() * sizeof(T));
}

size_t SizeBytes(size_t size) { return size < 254 ? 1 : (size <= 0xffff ? 3 : 5); }

// Tag, size, widest padding and elements of a number list.
template <typename T>
size_t NumberListBound(const EncodableValue& value) {
  const size_t count = std::get<std::vector<T>>(value).size();
  return 1 + SizeBytes(count) + (sizeof(T) - 1) + count * sizeof(T);
}

}  // namespace

size_t StandardCodecSerializer::EncodedSizeBound(const EncodableValue& value) {
  switch (value.index()) {
    case 2:
      return 1 + sizeof(int32_t);
    case 3:
      return 1 + sizeof(int64_t);
    case 4:
      return 1 + 7 + sizeof(double);
    case 5: {
      const size_t size = std::get<std::string>(value).size();
      return 1 + SizeBytes(size) + size;
    }
    case 6:
      return NumberListBound<uint8_t>(value);
    case 7:
      return NumberListBound<int32_t>(value);
    case 8:
      return NumberListBound<int64_t>(value);
    case 9:
      return NumberListBound<double>(value);
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      size_t bound = 1 + SizeBytes(list.size());
      for (const EncodableValue& element : list) bound += EncodedSizeBound(element);
      return bound;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      size_t bound = 1 + SizeBytes(map.size());
      for (const auto& [key, entry] : map) bound += EncodedSizeBound(key) + EncodedSizeBound(entry);
      return bound;
    }
    case 13:
      return NumberListBound<float>(value);
    default:  // null, bool, custom: the tag alone
      return 1;
  }
}

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
  const bool direct = typeid(*this) == typeid(StandardCodecSerializer);
  if (typeid(*stream) == typeid(ByteBufferStreamReader)) {
    return ValueDecoder<ByteBufferStreamReader>(*this, static_cast<ByteBufferStreamReader*>(stream),
                                                direct)
        .ReadValueOfType(type);
  }
  return ValueDecoder<ByteStreamReader>(*this, stream, direct).ReadValueOfType(type);
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  return ValueDecoder<ByteStreamReader>(*this, stream, true).ReadSize();
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
      EmitLine(
          "Unhandled custom type in StandardCodecSerializer::WriteValue. Custom types require "
          "codec extensions.");
      stream->WriteByte(kNull);
      return;
    case 13:
      WriteNumberList(*this, kFloat32List, std::get<std::vector<float>>(value), stream);
      return;
  }
}

}  // namespace duzavide
