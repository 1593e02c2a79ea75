// Round trips per second through the WireGuard TCP bridge on loopback, against a
// direct UDP echo measured in the same run.
//
// A load generator keeps W datagrams of 1,400 bytes in flight (W = 1 and W = 32):
// each echoed datagram is answered with a new one. Through the bridge a datagram is
// framed onto the stream, echoed frame by frame by a stand-in for the core, and
// returned as a datagram. Direct and bridged runs alternate, so that each pair sees
// about the same machine load; the ratio is the median of the pairs' ratios.
//
// Usage: bridge_round_trip_bench [seconds per run, default 0.5] [pairs, default 7]
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/win_handles.h"
#include "bench/bridge/echo_peers.h"
#include "bridge/wireguard_tcp_bridge.h"

namespace duzavide {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kDatagramSize = 1400;
constexpr uint64_t kMaxRoundTripsPerRun = 2000000;
constexpr DWORD kReplyTimeoutMs = 500;
constexpr int kMaxTimeoutsPerRun = 5;

struct Run {
  double per_second = 0;
  uint64_t round_trips = 0;
  int timeouts = 0;
};

// Keeps `window` datagrams in flight to 127.0.0.1:`port` for `duration`.
Run Measure(uint16_t port, int window, std::chrono::duration<double> duration) {
  Run run;
  UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!socket || ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) {
    return run;
  }
  DWORD timeout = kReplyTimeoutMs;
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
  int buffer = 4 << 20;
  ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer),
               sizeof(buffer));
  sockaddr_in target = local;
  target.sin_port = htons(port);
  std::vector<char> payload(kDatagramSize, 'w');
  std::vector<char> reply(65536);
  auto send_one = [&] {
    ::sendto(socket.Get(), payload.data(), static_cast<int>(payload.size()), 0,
             reinterpret_cast<sockaddr*>(&target), sizeof(target));
  };
  for (int i = 0; i < window; ++i) send_one();
  const Clock::time_point start = Clock::now();
  Clock::time_point now = start;
  while (now - start < duration && run.round_trips < kMaxRoundTripsPerRun) {
    int size = ::recv(socket.Get(), reply.data(), static_cast<int>(reply.size()), 0);
    now = Clock::now();
    if (size <= 0) {
      // The window was lost (a full socket buffer somewhere); start it again.
      if (++run.timeouts > kMaxTimeoutsPerRun) break;
      for (int i = 0; i < window; ++i) send_one();
      continue;
    }
    ++run.round_trips;
    send_one();
  }
  run.per_second = run.round_trips / std::chrono::duration<double>(now - start).count();
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

int Main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::clamp(std::atof(argv[1]), 0.1, 30.0) : 0.5;
  const int runs = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 25) : 7;
  const std::chrono::duration<double> duration(seconds);

  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  int status = 1;
  {
    UdpEcho direct;
    FrameEchoCore core;
    WireGuardTcpBridge bridge(nullptr);
    if (!direct.ok() || !core.ok() || !bridge.StartBridge("127.0.0.1", core.port())) {
      std::fprintf(stderr, "could not set up the echo peers or the bridge\n");
    } else {
      // Warm-up, which also waits for the bridge's connection to the core.
      Measure(bridge.udp_port(), 1, std::chrono::milliseconds(300));
      Measure(direct.port(), 1, std::chrono::milliseconds(300));
      std::printf("%-4s %16s %16s %8s   (%d-byte datagrams, medians of %d pairs of %.1f s runs)\n",
                  "W", "direct rt/s", "bridge rt/s", "ratio", static_cast<int>(kDatagramSize), runs,
                  seconds);
      status = 0;
      for (int window : {1, 32}) {
        std::vector<double> direct_rates, bridge_rates, ratios;
        int timeouts = 0;
        for (int i = 0; i < runs; ++i) {
          Run d = Measure(direct.port(), window, duration);
          Run b = Measure(bridge.udp_port(), window, duration);
          direct_rates.push_back(d.per_second);
          bridge_rates.push_back(b.per_second);
          timeouts += d.timeouts + b.timeouts;
          ratios.push_back(d.per_second > 0 ? b.per_second / d.per_second : 0.0);
        }
        const double d = Median(direct_rates);
        const double b = Median(bridge_rates);
        std::printf("%-4d %16.0f %16.0f %8.2f", window, d, b, Median(ratios));
        if (timeouts > 0) std::printf("   (%d lost windows restarted)", timeouts);
        std::printf("\n");
        if (d <= 0 || b <= 0) status = 1;
      }
    }
    bridge.StopBridge();
  }
  ::WSACleanup();
  return status;
}

}  // namespace
}  // namespace duzavide

int main(int argc, char** argv) { return duzavide::Main(argc, argv); }
