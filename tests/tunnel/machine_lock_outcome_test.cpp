// What taking the machine-wide lock comes to, step by step: a squatter is told
// apart from another session's tunnel, and a system without the lock still
// connects.
#include "tunnel/machine_lock_outcome.h"

#include <gtest/gtest.h>

#include <string>

namespace duzavide {
namespace {

TEST(MachineLockOutcomeTest, OnlyAForeignNamespaceOrNameIsASquatter) {
  using N = LockNamespaceStep;
  using M = LockMutexStep;
  using W = LockWaitStep;
  using O = MachineLockOutcome;
  struct Case {
    MachineLockSteps steps;
    O outcome;
  } cases[] = {
      {{N::kCreated, M::kReady, W::kAcquired}, O::kTaken},
      {{N::kOpened, M::kReady, W::kAbandoned}, O::kTaken},
      {{N::kOpened, M::kReady, W::kTimedOut}, O::kHeldElsewhere},
      {{N::kOpened, M::kReady, W::kFailed}, O::kUnavailable},
      {{N::kShutOut, M::kReady, W::kAcquired}, O::kSquatted},
      {{N::kOpened, M::kShutOut, W::kAcquired}, O::kSquatted},
      {{N::kCreated, M::kOtherObject, W::kAcquired}, O::kSquatted},
      {{N::kOpened, M::kFailed, W::kAcquired}, O::kUnavailable},
      {{N::kNotOffered, M::kReady, W::kAcquired}, O::kUnavailable},
      {{N::kFailed, M::kReady, W::kAcquired}, O::kUnavailable},
  };
  for (size_t row = 0; row < std::size(cases); ++row) {
    EXPECT_EQ(DecideMachineLock(cases[row].steps), cases[row].outcome) << "row " << row;
  }
  // Only a lock held by someone stops the connect, each with its own reason.
  EXPECT_EQ(MachineLockRefusal(O::kTaken), "");
  EXPECT_EQ(MachineLockRefusal(O::kUnavailable), "");
  EXPECT_NE(MachineLockRefusal(O::kSquatted), "");
  EXPECT_NE(MachineLockRefusal(O::kSquatted), MachineLockRefusal(O::kHeldElsewhere));
}

}  // namespace
}  // namespace duzavide
