// Who hears about a tunnel session: its status and core output lines, the end of
// a core that stopped on its own, and a bridge whose address stopped working.
#ifndef TUNNEL_SESSION_OBSERVERS_H_
#define TUNNEL_SESSION_OBSERVERS_H_

#include <functional>
#include <string>

#include "base/line_sink.h"

namespace duzavide {

// Set before the session's first Connect and not changed afterwards: the session
// shares this object with its reader and relay threads, which call the observers
// without any lock, possibly after the session itself has gone.
struct SessionObservers {
  using StoppedObserver = std::function<void()>;

  LineSink line;
  StoppedObserver stopped;
  // The bridge could not send from its address (the address went away).
  std::function<void()> address_trouble;
  // The relay stopped answering.
  std::function<void()> relay_silence;

  void SendLine(const std::string& text) const {
    if (line) line(text);
  }
  void SendStopped() const {
    if (stopped) stopped();
  }
  void SendAddressTrouble() const {
    if (address_trouble) address_trouble();
  }
  void SendRelaySilence() const {
    if (relay_silence) relay_silence();
  }
};

}  // namespace duzavide

#endif  // TUNNEL_SESSION_OBSERVERS_H_
