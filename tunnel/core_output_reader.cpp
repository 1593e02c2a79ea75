#include "tunnel/core_output_reader.h"

#include <string>
#include <string_view>

namespace duzavide {
namespace {

constexpr DWORD kReadSize = 4095;
constexpr char kUnexpectedExitLine[] = "[xray] process exited unexpectedly";

}  // namespace

void ReadCoreOutput(const CoreOutputRun& run) {
  const SessionObservers& observers = *run.observers;
  char buffer[kReadSize + 1];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(run.pipe->Get(), buffer, kReadSize, &got, nullptr) || got == 0) break;
    // Given up on by Disconnect: the output belongs to no current run.
    if (!run.reader.IsCurrent()) return;
    buffer[got] = '\0';
    // The log lock is held only inside this call, for one read's conversion.
    run.log->AppendCoreOutput(buffer, got);
    if (!observers.line) continue;
    // Lines keep a carriage return before their line feed; a line that spans two
    // reads reaches the observer in two pieces.
    const std::string_view chunk(buffer, got);
    size_t start = 0;
    for (size_t feed = chunk.find('\n'); feed != std::string_view::npos;
         feed = chunk.find('\n', start)) {
      observers.line(std::string(chunk.substr(start, feed - start)));
      start = feed + 1;
    }
    if (start < chunk.size()) observers.line(std::string(chunk.substr(start)));
  }
  if (!run.reader.IsCurrent()) return;
  run.log->FlushCoreOutput();

  // Only while this run's core is still the running one.
  if (run.core.EndIfCurrent()) {
    run.bridge->StopBridge();
    observers.SendLine(kUnexpectedExitLine);
    observers.SendStopped();
  }
}

}  // namespace duzavide
