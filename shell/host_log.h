// The host's own log file, "host.log" in the user's logs folder (beside the data
// folder, data_folder.h): what support reads when "connect" answered false.
// Installed as the process's line sink, it receives the tunnel's status and core
// output lines, the channel layer's diagnostics and the host's own events (start,
// failed creation, exit).
#ifndef SHELL_HOST_LOG_H_
#define SHELL_HOST_LOG_H_

#include <windows.h>

#include <cstdint>
#include <functional>
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
// The elevated host writes here, so the file is opened as itself and refused when
// it is a link or has a second name (see tunnel/plain_file.h); the folder is one
// the caller has verified and holds open.
//
// Bounded: an entry that would take the file past `rotation_bytes` first renames it
// to "host.log.1" (replacing an older one) and starts a new file, so the two hold
// at most about twice the bound. The rename fails while a reader holds either file
// without sharing deletion (most editors do): then the open file is kept and
// written on, and the rename is tried again only after another eighth of the bound
// has been logged. A file that cannot be opened is likewise tried again only after
// another eighth. So a line never costs more than one open. A file whose rename
// keeps failing is cut (emptied, not renamed: its name stays the one support
// looks for) when an entry would take it past twice the bound, and the first
// line after the cut says so: a program that holds the files open cannot make
// the log grow without end. Short of that bound no line is lost while the log
// can be written at all.
//
// Failures (no folder, a full disk, a locked file) are swallowed: logging never
// changes what the caller does. Every operation is thread-safe; entries are written
// whole under one lock, in call order. The object must outlive every observer that
// forwards to it.
class HostLog {
 public:
  // Opens `path` for appending, or returns an empty handle.
  using FileOpener = std::function<UniqueFileHandle(const std::wstring& path)>;

  // The opener the log uses unless told otherwise: appending only, shared for
  // reading, writing and deletion, opened as itself and refused unless it is a
  // plain file with one name.
  static UniqueFileHandle OpenForAppending(const std::wstring& path);

  // Logs into the existing `folder`; an empty `folder` means standard error only.
  explicit HostLog(std::wstring folder, uint64_t rotation_bytes = kHostLogRotationBytes,
                   FileOpener open = OpenForAppending);
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
  // All require `lock_` held. Each makes one attempt.
  void Reopen();
  // True when the file was renamed.
  bool Rotate();
  // Empties the file in hand; true when it did.
  bool Cut();
  void AttemptFailed();

  const std::wstring folder_;
  const std::wstring path_;
  const uint64_t rotation_bytes_;
  const FileOpener open_;
  Lock lock_;
  UniqueFileHandle file_;
  // `file_` is the file already renamed to "host.log.1": only a new open is due.
  bool renamed_ = false;
  // An open or a rename failed; the next one waits for `since_failure_` to reach
  // an eighth of the bound.
  bool failed_ = false;
  uint64_t since_failure_ = 0;
};

}  // namespace duzavide

#endif  // SHELL_HOST_LOG_H_
