#include "base/line_sink.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "base/lock.h"

namespace duzavide {
namespace {

struct Sink {
  LineSink write;
  LineFlush flush;
};

struct SinkSlot {
  Lock lock;
  std::shared_ptr<const Sink> sink;  // guarded by `lock`
};

SinkSlot& Slot() {
  // Never destroyed: threads may still emit while the process exits.
  static SinkSlot* slot = new SinkSlot;
  return *slot;
}

std::shared_ptr<const Sink> CurrentSink() {
  SinkSlot& slot = Slot();
  AutoLock lock(slot.lock);
  return slot.sink;
}

}  // namespace

void SetLineSink(LineSink sink, LineFlush flush) {
  std::shared_ptr<const Sink> installed;
  if (sink) installed = std::make_shared<const Sink>(Sink{std::move(sink), std::move(flush)});
  SinkSlot& slot = Slot();
  AutoLock lock(slot.lock);
  // The old sink goes when `installed` does, after the lock; calls in flight
  // hold their own share of it.
  slot.sink.swap(installed);
}

void EmitLine(const std::string& line) {
  if (const std::shared_ptr<const Sink> sink = CurrentSink()) {
    sink->write(line);
    return;
  }
  // One call, so that lines of different threads do not interleave.
  std::fprintf(stderr, "%s\n", line.c_str());
}

void FlushLines() {
  const std::shared_ptr<const Sink> sink = CurrentSink();
  if (sink && sink->flush) sink->flush();
  std::fflush(stderr);
}

}  // namespace duzavide
