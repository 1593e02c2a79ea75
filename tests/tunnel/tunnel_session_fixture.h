// Fixture for tests that run a TunnelSession against the stand-in core.
#ifndef TESTS_TUNNEL_TUNNEL_SESSION_FIXTURE_H_
#define TESTS_TUNNEL_TUNNEL_SESSION_FIXTURE_H_

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "tests/tunnel/tunnel_test_support.h"
#include "tunnel/tunnel_session.h"

namespace duzavide::tunnel_test {

inline constexpr char kNotFoundLine[] = "[xray] xray.exe not found -- check installation";
inline constexpr char kSkippedLineStart[] = "[xray] xray.exe in the data folder skipped -- ";
inline constexpr char kNoInterfaceLine[] = "[bridge] could not detect the active IPv4 interface";
inline constexpr char kStartedLine[] = "[xray] TUN and WireGuard transport started";
inline constexpr char kStoppedLine[] = "[xray] TUN and WireGuard transport stopped";
inline constexpr char kUnexpectedLine[] = "[xray] process exited unexpectedly";
inline constexpr char kBridgeConnectedLine[] = "[bridge] WireGuard TCP transport connected";

class TunnelSessionTest : public ::testing::Test {
 protected:
  TunnelSessionTest() {
    session_.SetLineObserver([this](const std::string& line) { lines_.Add(line); });
    session_.SetStoppedObserver([this] { ++stopped_; });
  }

  // Takes the log until `done` holds for the accumulated text, at most `timeout`.
  std::string TakeLogUntil(const std::function<bool(const std::string&)>& done,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(text) && std::chrono::steady_clock::now() < deadline) {
      text += session_.TakeLog();
      if (!done(text)) ::Sleep(50);
    }
    return text;
  }

  static DWORD HandleCount() { return OwnHandleCount(); }

  // Declared before the session, so the session (and its core) goes first.
  LineRecorder lines_;
  std::atomic<int> stopped_{0};
  StandinCore core_;
  TunnelSession session_;
};

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace duzavide::tunnel_test

#endif  // TESTS_TUNNEL_TUNNEL_SESSION_FIXTURE_H_
