#include "shell/host_log.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

namespace duzavide {
namespace {

std::string TimeStamp() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

std::string OneLine(const std::string& text) {
  std::string line = text;
  while (!line.empty() && line.back() == '\r') line.pop_back();
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

}  // namespace

HostLog::HostLog(std::wstring folder, uint64_t rotation_bytes)
    : folder_(std::move(folder)),
      path_(folder_ + L"\\" + kHostLogName),
      rotation_bytes_(rotation_bytes) {}

HostLog::~HostLog() = default;

void HostLog::Write(const std::string& text) noexcept {
  // Called from the session's worker threads, where an escaping exception would end
  // the process; an entry that cannot be made is dropped.
  try {
    WriteEntry(text);
  } catch (...) {
  }
}

void HostLog::WriteEntry(const std::string& text) {
  const std::string body = OneLine(text);
  AutoLock lock(lock_);
  // Stamped under the lock, so the stamps in the file never go backwards.
  const std::string line = TimeStamp() + " " + body;
  const std::string record = line + "\r\n";
  // Standard error too, under the same lock so that lines do not interleave there.
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);

  if (!EnsureOpen()) return;
  LARGE_INTEGER size{};
  // The size is asked each time: another instance may append to the same file.
  if (::GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0 &&
      static_cast<uint64_t>(size.QuadPart) + record.size() > rotation_bytes_) {
    Rotate();
    if (!EnsureOpen()) return;
  }
  DWORD written = 0;
  ::WriteFile(file_.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

void HostLog::Flush() {
  AutoLock lock(lock_);
  std::fflush(stderr);
  if (file_) ::FlushFileBuffers(file_.Get());
}

bool HostLog::EnsureOpen() {
  if (file_) return true;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(folder_), error);
  // Appending only: every write lands at the end, also when others append too.
  // Delete sharing lets another instance rotate the file while this one holds it.
  file_.Reset(::CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.IsValid();
}

void HostLog::Rotate() {
  file_.Reset();
  const std::wstring older = path_ + L".1";
  // When the rename fails (a reader that does not share deletion holds the file),
  // the entry goes to the current file and the next entry tries again.
  ::MoveFileExW(path_.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace duzavide
