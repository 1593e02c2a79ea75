// The core output reader thread of TunnelSession: drains the core's pipe into the
// session log and the line observer, and notices the end of the core.
#include <memory>
#include <string>
#include <string_view>

#include "tunnel/tunnel_session.h"

namespace duzavide {
namespace {

constexpr DWORD kReadSize = 4095;
constexpr char kUnexpectedExitLine[] = "[xray] process exited unexpectedly";

}  // namespace

DWORD WINAPI TunnelSession::CoreOutputReaderMain(void* run) {
  std::unique_ptr<ReaderRun> owned(static_cast<ReaderRun*>(run));
  owned->session->ReadCoreOutput(owned->pipe->Get(), owned->run_id);
  return 0;  // `owned` lets go of the pipe end
}

void TunnelSession::ReadCoreOutput(HANDLE pipe, uint64_t run_id) {
  char buffer[kReadSize + 1];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(pipe, buffer, kReadSize, &got, nullptr) || got == 0) break;
    // Given up on by Disconnect: the output belongs to no current run.
    if (reader_run_.load() != run_id) return;
    buffer[got] = '\0';
    // The log lock is held only inside this call, for one read's conversion.
    log_.AppendCoreOutput(buffer, got);
    if (!line_observer_) continue;
    // Lines keep a carriage return before their line feed; a line that spans two
    // reads reaches the observer in two pieces.
    const std::string_view chunk(buffer, got);
    size_t start = 0;
    for (size_t feed = chunk.find('\n'); feed != std::string_view::npos;
         feed = chunk.find('\n', start)) {
      line_observer_(std::string(chunk.substr(start, feed - start)));
      start = feed + 1;
    }
    if (start < chunk.size()) line_observer_(std::string(chunk.substr(start)));
  }
  if (reader_run_.load() != run_id) return;
  log_.FlushCoreOutput();

  // Only while this run's core is still the running one.
  uint64_t expected = run_id;
  if (core_running_.compare_exchange_strong(expected, 0)) {
    bridge_.StopBridge();
    SendLine(kUnexpectedExitLine);
    if (stopped_observer_) stopped_observer_();
  }
}

}  // namespace duzavide
