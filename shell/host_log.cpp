#include "shell/host_log.h"

#include <cstdio>
#include <utility>

#include "tunnel/data_folder/plain_file.h"
#include "tunnel/data_folder/security_descriptors.h"

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

UniqueFileHandle HostLog::OpenForAppending(const std::wstring& path) {
  // Appending only: every write lands at the end, also when others append too.
  // Delete sharing lets another instance rotate the file while this one holds it.
  // A file created here is owned by Administrators and carries the logs folder's
  // list from its creation, whatever the token's default owner is.
  UniqueSecurityDescriptor security = LogsFolderSecurity(CurrentUserSid());
  return OpenPlainFile(path, FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS, nullptr,
                       security.Get());
}

HostLog::HostLog(std::wstring folder, uint64_t rotation_bytes, FileOpener open)
    : folder_(std::move(folder)),
      path_(folder_.empty() ? std::wstring() : folder_ + L"\\" + kHostLogName),
      rotation_bytes_(rotation_bytes),
      open_(std::move(open)) {}

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

  if (path_.empty()) return;
  const bool may_try = !failed_ || since_failure_ >= rotation_bytes_ / 8;
  since_failure_ += record.size();
  if (!file_ || renamed_) {
    if (may_try) Reopen();
  } else if (may_try) {
    LARGE_INTEGER size{};
    // The size is asked each time: another instance may append to the same file.
    if (::GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0 &&
        static_cast<uint64_t>(size.QuadPart) + record.size() > rotation_bytes_) {
      Rotate();
    }
  }
  if (!file_) return;
  DWORD written = 0;
  ::WriteFile(file_.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

void HostLog::Flush() {
  AutoLock lock(lock_);
  std::fflush(stderr);
  if (file_) ::FlushFileBuffers(file_.Get());
}

void HostLog::Reopen() {
  UniqueFileHandle next = open_(path_);
  if (!next) {
    // Still writing to the renamed file, if there is one: nothing is lost.
    AttemptFailed();
    return;
  }
  file_ = std::move(next);
  renamed_ = false;
  failed_ = false;
}

void HostLog::Rotate() {
  const std::wstring older = path_ + L".1";
  // Renamed while still open (the handle shares deletion), so a failure leaves the
  // file in hand. A rename never writes through a link named "host.log.1"; it
  // replaces the name.
  if (!::MoveFileExW(path_.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    AttemptFailed();
    return;
  }
  renamed_ = true;
  Reopen();
}

void HostLog::AttemptFailed() {
  failed_ = true;
  since_failure_ = 0;
}

}  // namespace duzavide
