#include "tunnel/leak_protection/leak_protection.h"

namespace duzavide {

bool LeakProtection::Apply(const std::vector<LeakFilter>& filters, std::string* failure) {
  switch (state_) {
    case State::kUnavailable:
      return true;
    case State::kOn:
      return platform_->Replace(filters, failure);
    case State::kOff:
      break;
  }
  std::string reason;
  switch (platform_->Open(&reason)) {
    case FilteringPlatform::OpenResult::kNoEngine:
      state_ = State::kUnavailable;
      reason_ = reason;
      return true;
    case FilteringPlatform::OpenResult::kFailed:
      *failure = reason;
      return false;
    case FilteringPlatform::OpenResult::kOpened:
      break;
  }
  if (!platform_->Replace(filters, failure)) {
    platform_->Close();
    return false;
  }
  state_ = State::kOn;
  return true;
}

void LeakProtection::Remove() {
  if (state_ == State::kOn) platform_->Close();
  state_ = State::kOff;
  reason_.clear();
}

}  // namespace duzavide
