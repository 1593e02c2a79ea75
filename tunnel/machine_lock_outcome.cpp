#include "tunnel/machine_lock_outcome.h"

namespace duzavide {

MachineLockOutcome DecideMachineLock(const MachineLockSteps& steps) {
  switch (steps.space) {
    case LockNamespaceStep::kCreated:
    case LockNamespaceStep::kOpened:
      break;
    case LockNamespaceStep::kShutOut:
      return MachineLockOutcome::kSquatted;
    case LockNamespaceStep::kNotOffered:
    case LockNamespaceStep::kFailed:
      return MachineLockOutcome::kUnavailable;
  }
  switch (steps.mutex) {
    case LockMutexStep::kReady:
      break;
    case LockMutexStep::kShutOut:
    case LockMutexStep::kOtherObject:
      return MachineLockOutcome::kSquatted;
    case LockMutexStep::kFailed:
      return MachineLockOutcome::kUnavailable;
  }
  switch (steps.wait) {
    case LockWaitStep::kAcquired:
    case LockWaitStep::kAbandoned:  // its holder ended without letting go
      return MachineLockOutcome::kTaken;
    case LockWaitStep::kTimedOut:
      return MachineLockOutcome::kHeldElsewhere;
    case LockWaitStep::kFailed:
      break;
  }
  return MachineLockOutcome::kUnavailable;
}

std::string MachineLockRefusal(MachineLockOutcome outcome) {
  switch (outcome) {
    case MachineLockOutcome::kHeldElsewhere:
      return "another Windows session has the tunnel";
    case MachineLockOutcome::kSquatted:
      return "another program holds the lock's name; no tunnel can start until it lets go";
    case MachineLockOutcome::kTaken:
    case MachineLockOutcome::kUnavailable:
      break;
  }
  return "";
}

}  // namespace duzavide
