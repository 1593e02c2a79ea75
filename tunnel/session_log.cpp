#include "tunnel/session_log.h"

#include <windows.h>

namespace duzavide {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the sequence a lead byte starts, 0 for a byte that starts none.
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether `second` may follow `lead` in a well-formed sequence (no overlong forms,
// no surrogates, nothing above U+10FFFF).
bool SecondByteFits(unsigned char lead, unsigned char second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0 && second <= 0xBF;
    case 0xED:
      return second >= 0x80 && second <= 0x9F;
    case 0xF0:
      return second >= 0x90 && second <= 0xBF;
    case 0xF4:
      return second >= 0x80 && second <= 0x8F;
    default:
      return IsContinuation(second);
  }
}

// Number of bytes at the end of `bytes` that form the well-formed beginning of a
// sequence still missing bytes: 0 to 3. Anything else is converted at once.
size_t IncompleteTailLength(const std::string& bytes) {
  size_t size = bytes.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    auto byte = static_cast<unsigned char>(bytes[size - back]);
    if (IsContinuation(byte)) continue;
    size_t needed = SequenceLength(byte);
    if (needed <= back) return 0;
    if (back >= 2 && !SecondByteFits(byte, static_cast<unsigned char>(bytes[size - back + 1]))) {
      return 0;
    }
    return back;
  }
  return 0;
}

}  // namespace

void SessionLog::AppendCoreOutput(const char* bytes, size_t size) {
  AutoLock lock(lock_);
  held_back_.append(bytes, size);
  size_t tail = IncompleteTailLength(held_back_);
  AppendConvertedLocked(held_back_.data(), held_back_.size() - tail);
  held_back_.erase(0, held_back_.size() - tail);
  ApplyBoundLocked();
}

void SessionLog::FlushCoreOutput() {
  AutoLock lock(lock_);
  AppendConvertedLocked(held_back_.data(), held_back_.size());
  held_back_.clear();
  ApplyBoundLocked();
}

std::string SessionLog::TakeLog() {
  std::wstring taken;
  {
    AutoLock lock(lock_);
    taken.swap(text_);
  }
  if (taken.empty()) return std::string();
  int units = static_cast<int>(taken.size());
  int needed = ::WideCharToMultiByte(CP_UTF8, 0, taken.data(), units, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string utf8(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, taken.data(), units, utf8.data(), needed, nullptr, nullptr);
  return utf8;
}

size_t SessionLog::SizeInUnits() {
  AutoLock lock(lock_);
  return text_.size();
}

void SessionLog::AppendConvertedLocked(const char* bytes, size_t size) {
  if (size == 0) return;
  int length = static_cast<int>(size);
  int units = ::MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0);
  if (units <= 0) return;
  size_t old_size = text_.size();
  text_.resize(old_size + static_cast<size_t>(units));
  ::MultiByteToWideChar(CP_UTF8, 0, bytes, length, text_.data() + old_size, units);
}

void SessionLog::ApplyBoundLocked() {
  if (text_.size() <= kMaxUnits) return;
  text_.erase(0, text_.size() - kKeptUnits);
  // The cut may have split a surrogate pair; its low half alone is no character.
  if (!text_.empty() && text_[0] >= 0xDC00 && text_[0] <= 0xDFFF) text_.erase(0, 1);
}

}  // namespace duzavide
