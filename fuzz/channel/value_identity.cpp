#include "fuzz/channel/value_identity.h"

#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace duzavide::fuzzing {
namespace {

template <typename T>
bool SameBits(const T* a, const T* b, size_t count) {
  return count == 0 || std::memcmp(a, b, count * sizeof(T)) == 0;
}

struct SameAlternative {
  const EncodableValue& other;

  bool operator()(const std::monostate&) const { return true; }
  bool operator()(double value) const {
    const double theirs = std::get<double>(other);
    return SameBits(&value, &theirs, 1);
  }
  template <typename T>
  bool operator()(const std::vector<T>& value) const {
    const auto& theirs = std::get<std::vector<T>>(other);
    return value.size() == theirs.size() && SameBits(value.data(), theirs.data(), value.size());
  }
  bool operator()(const EncodableList& value) const {
    const auto& theirs = std::get<EncodableList>(other);
    if (value.size() != theirs.size()) return false;
    for (size_t i = 0; i < value.size(); ++i) {
      if (!SameValue(value[i], theirs[i])) return false;
    }
    return true;
  }
  bool operator()(const EncodableMap& value) const {
    const auto& theirs = std::get<EncodableMap>(other);
    if (value.size() != theirs.size()) return false;
    for (auto left = value.begin(), right = theirs.begin(); left != value.end(); ++left, ++right) {
      if (!SameValue(left->first, right->first) || !SameValue(left->second, right->second)) {
        return false;
      }
    }
    return true;
  }
  bool operator()(const CustomEncodableValue&) const { return false; }
  template <typename T>
  bool operator()(const T& value) const {
    return value == std::get<T>(other);
  }
};

}  // namespace

bool SameValue(const EncodableValue& a, const EncodableValue& b) {
  return a.index() == b.index() && std::visit(SameAlternative{b}, a.variant());
}

bool SameValue(const EncodableValue* a, const EncodableValue* b) {
  return a == nullptr ? b == nullptr : b != nullptr && SameValue(*a, *b);
}

}  // namespace duzavide::fuzzing
