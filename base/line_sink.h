// The process's one destination for diagnostic and status lines.
//
// Every subsystem writes its lines with EmitLine: the channel layer's
// diagnostics, the shell's events, the tunnel's status lines and the core's
// output. Until a sink is installed (and in programs that never install one, such
// as most tests) a line goes to standard error. The host installs its log as the
// sink at start; the log writes each line to its file and to standard error.
//
// Any thread may emit, several at once. A sink must be thread-safe and must not
// emit lines itself. A sink that is replaced stays alive until every call that
// already reached it has returned, so replacing it never waits for a slow writer.
#ifndef BASE_LINE_SINK_H_
#define BASE_LINE_SINK_H_

#include <functional>
#include <string>

namespace duzavide {

using LineSink = std::function<void(const std::string& line)>;
using LineFlush = std::function<void()>;

// Installs `sink` for the whole process, with `flush`, which pushes what it
// wrote to the disk; an empty sink sends lines to standard error again.
void SetLineSink(LineSink sink, LineFlush flush = nullptr);

// Hands `line` (UTF-8, one line, no line feed) to the sink.
void EmitLine(const std::string& line);

// Pushes what the sink wrote to the disk, for a process that is about to be ended
// without further notice (the end of the Windows session).
void FlushLines();

}  // namespace duzavide

#endif  // BASE_LINE_SINK_H_
