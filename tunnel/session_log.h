// SessionLog keeps what the proxy core printed since the interface last asked.
//
// The core output reader thread appends raw UTF-8 chunks; the main thread takes the
// whole text (and clears it) for "getLog". The text is UTF-16, bounded: after an
// append that makes it longer than kMaxUnits it is cut to its last kKeptUnits.
// Every access to the text happens under the log lock, which lives as long as
// the object. The text survives Connect and Disconnect.
#ifndef TUNNEL_SESSION_LOG_H_
#define TUNNEL_SESSION_LOG_H_

#include <cstddef>
#include <string>

#include "base/lock.h"

namespace duzavide {

class SessionLog {
 public:
  static constexpr size_t kMaxUnits = 65536;
  static constexpr size_t kKeptUnits = 32768;

  SessionLog() = default;
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // Reader thread. Converts `size` bytes of core output from UTF-8 and appends
  // them. A character whose bytes are split between two chunks is held back (at
  // most 3 bytes) until the rest arrives, so it is not turned into replacement
  // characters; invalid sequences are still replaced as the system's conversion does.
  void AppendCoreOutput(const char* bytes, size_t size);

  // Reader thread, at the end of the pipe: converts whatever was held back.
  void FlushCoreOutput();

  // Main thread. Returns the text as UTF-8 and leaves the log empty.
  std::string TakeLog();

  // Number of UTF-16 units currently held (for tests and diagnostics).
  size_t SizeInUnits();

 private:
  // Both under the lock.
  void AppendConvertedLocked(const char* bytes, size_t size);
  void ApplyBoundLocked();

  Lock lock_;
  std::wstring text_;
  std::string held_back_;  // incomplete trailing UTF-8 sequence of the last chunk
};

}  // namespace duzavide

#endif  // TUNNEL_SESSION_LOG_H_
