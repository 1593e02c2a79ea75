#include "standins/core/core_output.h"

#include <windows.h>

#include <mutex>

namespace duzavide::standin {
namespace {

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

void WriteAll(DWORD which, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(OutputMutex());
  HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  size_t offset = 0;
  while (offset < bytes.size()) {
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data() + offset, static_cast<DWORD>(bytes.size() - offset),
                     &written, nullptr) ||
        written == 0) {
      return;
    }
    offset += written;
  }
  // WriteFile keeps nothing back, so the reader has the bytes now. (Flushing a pipe
  // would instead wait until the host has read everything.)
}

}  // namespace

void WriteStdout(const std::string& bytes) { WriteAll(STD_OUTPUT_HANDLE, bytes); }
void WriteStderr(const std::string& bytes) { WriteAll(STD_ERROR_HANDLE, bytes); }

}  // namespace duzavide::standin
