// Exact equality of value trees, for checking round trips. Built without
// coverage feedback: it checks the code under test and must not steer the
// fuzzer towards its own branches.
#ifndef FUZZ_CHANNEL_VALUE_IDENTITY_H_
#define FUZZ_CHANNEL_VALUE_IDENTITY_H_

#include "channel/encodable_value.h"

namespace duzavide::fuzzing {

// True when `a` and `b` hold the same alternatives node for node, with numbers
// equal bit for bit: each NaN equals itself and -0.0 differs from 0.0, where
// EncodableValue's own order would call both pairs equal. Custom holders are
// never the same (no decoder makes them).
bool SameValue(const EncodableValue& a, const EncodableValue& b);

// The same for optional values: both absent, or both present and the same.
bool SameValue(const EncodableValue* a, const EncodableValue* b);

}  // namespace duzavide::fuzzing

#endif  // FUZZ_CHANNEL_VALUE_IDENTITY_H_
