#ifndef CHANNEL_ENCODABLE_VALUE_H_
#define CHANNEL_ENCODABLE_VALUE_H_

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace duzavide {

// Holds an application-defined object of any type inside an EncodableValue.
// The standard codec cannot write such objects (it writes null instead). As a
// map key a holder is identified by its own address only: two holders are the
// same key only when they are the same object.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(std::any value) : value_(std::move(value)) {}

  const std::any& value() const { return value_; }

  // Identity comparison; see the class comment.
  bool operator<(const CustomEncodableValue& other) const;
  bool operator==(const CustomEncodableValue& other) const { return this == &other; }
  bool operator!=(const CustomEncodableValue& other) const { return this != &other; }

 private:
  std::any value_;
};

class EncodableValue;

// Ordered sequence of values.
using EncodableList = std::vector<EncodableValue>;
// Map ordered by EncodableValue::operator<; iteration (and so encoding) runs in
// key order.
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
// The alternatives in their fixed positions. The codec switches on the position
// and map keys are ordered by it first, so positions are never renumbered: the
// float list stays at 13, after the custom holder.
using EncodableVariant = std::variant<std::monostate,        // 0  null
                                      bool,                  // 1
                                      int32_t,               // 2
                                      int64_t,               // 3
                                      double,                // 4
                                      std::string,           // 5  UTF-8, not terminated
                                      std::vector<uint8_t>,  // 6
                                      std::vector<int32_t>,  // 7
                                      std::vector<int64_t>,  // 8
                                      std::vector<double>,   // 9
                                      EncodableList,         // 10
                                      EncodableMap,          // 11
                                      CustomEncodableValue,  // 12
                                      std::vector<float>>;   // 13
}  // namespace internal

// One value exchanged over a method channel: a tree that owns all of its
// content, so copying a value copies the whole tree. A default-constructed value
// is null. std::get, std::get_if and std::holds_alternative work on it as on the
// underlying variant; reading an alternative the value does not hold throws
// std::bad_variant_access.
class EncodableValue : public internal::EncodableVariant {
 public:
  using internal::EncodableVariant::EncodableVariant;
  using internal::EncodableVariant::operator=;

  EncodableValue() = default;
  // Without this a string literal would silently become a bool.
  EncodableValue(const char* text)  // NOLINT(runtime/explicit): literals read naturally
      : internal::EncodableVariant(std::string(text)) {}
  EncodableValue& operator=(const char* text) {
    internal::EncodableVariant::operator=(std::string(text));
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // Map-key order: position of the alternative first, then the alternative's
  // own order. Numbers compare numerically (a NaN double sorts after every
  // other double and equals another NaN, so the order stays strict and weak),
  // bool false before true, strings and byte lists by unsigned bytes with a
  // proper prefix first, lists element by element, maps entry by entry, custom
  // holders by identity; all nulls are equal.
  bool operator<(const EncodableValue& other) const;

  // Equal exactly when neither orders before the other.
  bool operator==(const EncodableValue& other) const;
  bool operator!=(const EncodableValue& other) const { return !(*this == other); }

  const internal::EncodableVariant& variant() const { return *this; }
};

}  // namespace duzavide

#endif  // CHANNEL_ENCODABLE_VALUE_H_
