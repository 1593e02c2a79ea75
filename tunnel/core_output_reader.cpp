// The core output reader thread of TunnelSession: drains the core's pipe into the
// session log and the line observer, and notices the end of the core.
#include <string>

#include "tunnel/tunnel_session.h"

namespace duzavide {
namespace {

constexpr DWORD kReadSize = 4095;
constexpr char kUnexpectedExitLine[] = "[xray] process exited unexpectedly";

}  // namespace

DWORD WINAPI TunnelSession::CoreOutputReaderMain(void* session) {
  static_cast<TunnelSession*>(session)->ReadCoreOutput();
  return 0;
}

void TunnelSession::ReadCoreOutput() {
  HANDLE pipe = pipe_read_.load();
  char buffer[kReadSize + 1];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(pipe, buffer, kReadSize, &got, nullptr) || got == 0) break;
    buffer[got] = '\0';
    log_.AppendCoreOutput(buffer, got);
    if (!line_observer_) continue;
    // Lines keep a carriage return before their line feed; a line that spans two
    // reads reaches the observer in two pieces.
    std::string chunk(buffer, got);
    size_t start = 0;
    for (size_t feed = chunk.find('\n'); feed != std::string::npos;
         feed = chunk.find('\n', start)) {
      line_observer_(chunk.substr(start, feed - start));
      start = feed + 1;
    }
    if (start < chunk.size()) line_observer_(chunk.substr(start));
  }
  log_.FlushCoreOutput();

  if (core_running_.exchange(false)) {
    bridge_.StopBridge();
    SendLine(kUnexpectedExitLine);
    if (stopped_observer_) stopped_observer_();
  }
}

}  // namespace duzavide
