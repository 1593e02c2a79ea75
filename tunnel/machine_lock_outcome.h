// What taking the machine-wide tunnel lock came to, from the outcome of each of
// its steps.
//
// The lock is a mutex inside a private namespace whose boundary holds the
// Administrators group. The system keeps one table of private namespaces for the
// whole machine, not one per Windows session, so the hosts of two signed-in users
// meet in the same namespace; and only a process with the Administrators group
// enabled in its token (an elevated one) may create or open a namespace with that
// boundary, so no standard user's program can take the lock's name first. What
// can still stand in the way is an elevated program that made the namespace with
// a descriptor that shuts the host out, or put an object of another kind, or a
// mutex the host may not open, under the lock's name: a squatter, told apart from
// another session's tunnel.
//
// Pure (no system header, built in every preset); any thread.
#ifndef TUNNEL_MACHINE_LOCK_OUTCOME_H_
#define TUNNEL_MACHINE_LOCK_OUTCOME_H_

#include <string>

namespace duzavide {

enum class LockNamespaceStep {
  kCreated,     // made by this process
  kOpened,      // made by another, opened
  kNotOffered,  // the system offers no private namespaces (no boundary could be made)
  kShutOut,     // it exists and its descriptor refuses this process
  kFailed,      // any other refusal
};

enum class LockMutexStep {
  kReady,        // created or opened
  kShutOut,      // a mutex of that name exists and refuses this process
  kOtherObject,  // the name belongs to an object of another kind
  kFailed,       // any other refusal
};

enum class LockWaitStep { kAcquired, kAbandoned, kTimedOut, kFailed };

enum class MachineLockOutcome {
  kTaken,          // held by the caller
  kHeldElsewhere,  // another process, or another thread, holds it
  kSquatted,       // another program holds the lock's name; nothing is held
  kUnavailable,    // the system refused the lock; nothing is held
};

struct MachineLockSteps {
  LockNamespaceStep space = LockNamespaceStep::kFailed;
  // Read only when the namespace was created or opened.
  LockMutexStep mutex = LockMutexStep::kFailed;
  // Read only when the mutex is ready.
  LockWaitStep wait = LockWaitStep::kFailed;
};

MachineLockOutcome DecideMachineLock(const MachineLockSteps& steps);

// Why a connect fails at the lock, for the failed-step line; "" for the outcomes
// that let it go on (kTaken, and kUnavailable: a system without the lock must
// still connect).
std::string MachineLockRefusal(MachineLockOutcome outcome);

}  // namespace duzavide

#endif  // TUNNEL_MACHINE_LOCK_OUTCOME_H_
