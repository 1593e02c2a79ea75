#include <windows.h>

#include "base/lock.h"

namespace duzavide {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");

namespace {
PSRWLOCK AsSrwLock(void** state) { return reinterpret_cast<PSRWLOCK>(state); }
}  // namespace

Lock::Lock() { ::InitializeSRWLock(AsSrwLock(&state_)); }

Lock::~Lock() = default;

void Lock::Acquire() { ::AcquireSRWLockExclusive(AsSrwLock(&state_)); }

void Lock::Release() { ::ReleaseSRWLockExclusive(AsSrwLock(&state_)); }

}  // namespace duzavide
