#include <mutex>

#include "base/lock.h"

namespace duzavide {

Lock::Lock() : state_(new std::mutex) {}

Lock::~Lock() { delete static_cast<std::mutex*>(state_); }

void Lock::Acquire() { static_cast<std::mutex*>(state_)->lock(); }

void Lock::Release() { static_cast<std::mutex*>(state_)->unlock(); }

}  // namespace duzavide
