// The host's own log file, "host.log" in the data folder: what support reads when
// "connect" answered false. Installed as the process's line sink, it receives the
// tunnel's status and core output lines, the channel layer's diagnostics and the
// host's own events (start, failed creation, exit).
#ifndef SHELL_HOST_LOG_H_
#define SHELL_HOST_LOG_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/lock.h"
#include "base/win_handles.h"

namespace duzavide {

inline constexpr wchar_t kHostLogName[] = L"host.log";
inline constexpr uint64_t kHostLogRotationBytes = 1 << 20;

// Each entry becomes one line: a UTC time stamp in ISO 8601 with milliseconds
// ("2026-07-27T09:15:02.117Z"), a space, the text, CR LF. The same line also goes to
// standard error. The file is opened for appending and shared for reading and
// writing, so a person can read it while the host runs and two hosts of the same
// session may append to it.
//
// Bounded: an entry that would take the file past `rotation_bytes` first renames it
// to "host.log.1" (replacing an older one) and starts a new file, so the two hold
// at most about twice the bound.
//
// Failures (no folder, a full disk, a locked file) are swallowed: logging never
// changes what the caller does. Every operation is thread-safe; entries are written
// whole under one lock, in call order. The object must outlive every observer that
// forwards to it.
class HostLog {
 public:
  // Logs into `folder` (created with its parents on the first entry when missing).
  explicit HostLog(std::wstring folder, uint64_t rotation_bytes = kHostLogRotationBytes);
  ~HostLog();
  HostLog(const HostLog&) = delete;
  HostLog& operator=(const HostLog&) = delete;

  // Appends one entry. `text` is UTF-8; a trailing carriage return is dropped and
  // line breaks inside it become spaces, so an entry is always exactly one line.
  void Write(const std::string& text) noexcept;

  // Pushes what was written to the disk, for a process that is about to be ended
  // without further notice (the end of the Windows session).
  void Flush();

  const std::wstring& path() const { return path_; }

 private:
  void WriteEntry(const std::string& text);
  // Both require `lock_` held.
  bool EnsureOpen();
  void Rotate();

  const std::wstring folder_;
  const std::wstring path_;
  const uint64_t rotation_bytes_;
  Lock lock_;
  UniqueFileHandle file_;
};

}  // namespace duzavide

#endif  // SHELL_HOST_LOG_H_
