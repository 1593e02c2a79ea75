#include "shell/host_log.h"

#include <cstdio>
#include <utility>

#include "base/signed_in_user.h"
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
  UniqueSecurityDescriptor security = LogsFolderSecurity(SignedInOrThisUserSid());
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
  } else {
    LARGE_INTEGER size{};
    // The size is asked each time: another instance may append to the same file.
    if (::GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0) {
      const uint64_t after = static_cast<uint64_t>(size.QuadPart) + record.size();
      const bool rotated = may_try && after > rotation_bytes_ && Rotate();
      if (!rotated && after > 2 * rotation_bytes_ && Cut()) {
        const std::string note = TimeStamp() + " the log was cut at " +
                                 std::to_string(size.QuadPart) +
                                 " bytes: another program keeps it from being renamed\r\n";
        DWORD written = 0;
        ::WriteFile(file_.Get(), note.data(), static_cast<DWORD>(note.size()), &written, nullptr);
      }
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

bool HostLog::Rotate() {
  const std::wstring older = path_ + L".1";
  // Renamed while still open (the handle shares deletion), so a failure leaves the
  // file in hand. A rename never writes through a link named "host.log.1"; it
  // replaces the name.
  if (!::MoveFileExW(path_.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    AttemptFailed();
    return false;
  }
  renamed_ = true;
  Reopen();
  return true;
}

bool HostLog::Cut() {
  // The log's own handle may only append: the file is opened once more by its
  // name, and cut only when that is the very file in hand (another instance may
  // have renamed it meanwhile).
  UniqueFileHandle whole =
      OpenPlainFile(path_, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    OPEN_EXISTING, nullptr);
  BY_HANDLE_FILE_INFORMATION mine{};
  BY_HANDLE_FILE_INFORMATION named{};
  if (!whole || !::GetFileInformationByHandle(file_.Get(), &mine) ||
      !::GetFileInformationByHandle(whole.Get(), &named) ||
      mine.dwVolumeSerialNumber != named.dwVolumeSerialNumber ||
      mine.nFileIndexHigh != named.nFileIndexHigh || mine.nFileIndexLow != named.nFileIndexLow) {
    return false;
  }
  FILE_END_OF_FILE_INFO end{};
  return ::SetFileInformationByHandle(whole.Get(), FileEndOfFileInfo, &end, sizeof(end)) != FALSE;
}

void HostLog::AttemptFailed() {
  failed_ = true;
  since_failure_ = 0;
}

}  // namespace duzavide
