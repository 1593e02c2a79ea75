#include "channel/encodable_value.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace duzavide {
namespace {

// Three-way comparison used by every alternative, so that nested containers
// are walked once per comparison instead of twice.
int Compare(const EncodableValue& a, const EncodableValue& b);

int CompareScalar(double a, double b) {
  // NaN sorts after all numbers and equals itself; everything else compares
  // numerically (so 0.0 and -0.0 are one key).
  const bool a_nan = std::isnan(a);
  const bool b_nan = std::isnan(b);
  if (a_nan || b_nan) return static_cast<int>(a_nan) - static_cast<int>(b_nan);
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Float list elements follow the same order as doubles; a plain < would make
// NaN equal to every other element.
int CompareScalar(float a, float b) {
  return CompareScalar(static_cast<double>(a), static_cast<double>(b));
}

template <typename T>
int CompareScalar(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareBytes(const uint8_t* a, size_t a_size, const uint8_t* b, size_t b_size) {
  const size_t common = std::min(a_size, b_size);
  if (common > 0) {
    // memcmp compares as unsigned char.
    const int result = std::memcmp(a, b, common);
    if (result != 0) return result < 0 ? -1 : 1;
  }
  return CompareScalar(a_size, b_size);
}

template <typename T>
int CompareSequence(const std::vector<T>& a, const std::vector<T>& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    int result;
    if constexpr (std::is_same_v<T, EncodableValue>) {
      result = Compare(a[i], b[i]);
    } else {
      result = CompareScalar(a[i], b[i]);
    }
    if (result != 0) return result;
  }
  return CompareScalar(a.size(), b.size());
}

int CompareMaps(const EncodableMap& a, const EncodableMap& b) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end() && right != b.end(); ++left, ++right) {
    int result = Compare(left->first, right->first);
    if (result == 0) result = Compare(left->second, right->second);
    if (result != 0) return result;
  }
  return CompareScalar(a.size(), b.size());
}

struct SameAlternativeComparer {
  const EncodableValue& other;

  int operator()(const std::monostate&) const { return 0; }
  int operator()(const std::string& value) const {
    const auto& theirs = std::get<std::string>(other);
    return CompareBytes(reinterpret_cast<const uint8_t*>(value.data()), value.size(),
                        reinterpret_cast<const uint8_t*>(theirs.data()), theirs.size());
  }
  int operator()(const std::vector<uint8_t>& value) const {
    const auto& theirs = std::get<std::vector<uint8_t>>(other);
    return CompareBytes(value.data(), value.size(), theirs.data(), theirs.size());
  }
  int operator()(const EncodableMap& value) const {
    return CompareMaps(value, std::get<EncodableMap>(other));
  }
  int operator()(const CustomEncodableValue& value) const {
    const auto& theirs = std::get<CustomEncodableValue>(other);
    return value < theirs ? -1 : (theirs < value ? 1 : 0);
  }
  template <typename T>
  int operator()(const std::vector<T>& value) const {
    return CompareSequence(value, std::get<std::vector<T>>(other));
  }
  template <typename T>
  int operator()(const T& value) const {
    return CompareScalar(value, std::get<T>(other));
  }
};

int Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
  return std::visit(SameAlternativeComparer{b}, a.variant());
}

}  // namespace

bool CustomEncodableValue::operator<(const CustomEncodableValue& other) const {
  // std::less gives a total order on unrelated pointers, unlike built-in <.
  return std::less<const CustomEncodableValue*>()(this, &other);
}

bool EncodableValue::operator<(const EncodableValue& other) const {
  return Compare(*this, other) < 0;
}

bool EncodableValue::operator==(const EncodableValue& other) const {
  return Compare(*this, other) == 0;
}

}  // namespace duzavide
