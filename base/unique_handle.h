// Owning wrappers for operating-system handles.
//
// UniqueAny<Traits> owns one raw value of Traits::Type and closes it with
// Traits::Close when it is reset, replaced or destroyed. A wrapper that holds
// Traits::kInvalid owns nothing. Closing always resets the wrapper to the invalid
// value, so closing twice is harmless. Move-only; not thread-safe: a handle that two
// threads touch is kept as a std::atomic of the raw value instead, and exchanged.
//
// Traits must provide:
//   using Type = ...;                       // the raw handle type
//   static Type Invalid();                  // the value that owns nothing
//   static void Close(Type value);          // called only for valid values
#ifndef BASE_UNIQUE_HANDLE_H_
#define BASE_UNIQUE_HANDLE_H_

#include <utility>

namespace duzavide {

template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() = default;
  explicit UniqueAny(Type value) : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.Release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { Reset(); }

  bool IsValid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }
  Type Get() const { return value_; }

  // For a call that hands out a new value through a pointer: closes the owned
  // value (if any) and returns where the new one goes.
  Type* Receive() {
    Reset();
    return &value_;
  }

  // Gives up ownership without closing.
  Type Release() { return std::exchange(value_, Traits::Invalid()); }

  // Closes the owned value (if any) and takes `value` instead.
  void Reset(Type value = Traits::Invalid()) {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Type value_ = Traits::Invalid();
};

}  // namespace duzavide

#endif  // BASE_UNIQUE_HANDLE_H_
