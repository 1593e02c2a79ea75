// How fast the tunnel heals: the real Duzavide.exe and stand-in core in the
// private test network (tests/e2e/private_network.sh). Each figure is the median
// of three runs, measured from the change to the first datagram echoed through
// the new bridge (the core's "standin-pong" line in the host log):
//   address change: 10.77.0.2 is replaced by 10.77.0.3;
//   route loss and return: the default route goes, then comes back (measured
//     from its return);
//   resume: the address changes while the machine "sleeps", then the resume
//     message arrives (measured from the message);
//   relay silence: the relay stops answering, and answers again once the host
//     has noticed and connects anew (measured from the silence's start).
// and, once, how often a flapping network makes the tunnel reconnect:
//   flapping: the tap device holds two addresses, each with a default route
//     beside it at equal metric, and the two routes trade places in the table
//     every 2 s for 60 s (the server, 10.79.0.99, lies behind either).
// Prints one line per figure (only the one named by the first argument, when
// given); exits 1 when a run does not recover within 45 s.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/app_process.h"
#include "tests/e2e/private_network.h"
#include "tests/tunnel/tunnel_test_support.h"

namespace duzavide::e2e {
namespace {

using std::chrono::seconds;

struct Application {
  WinsockUser winsock;
  tunnel_test::EchoRelay relay;
  std::unique_ptr<AppProcess> process;
  HWND window = nullptr;
};

bool ToAddress3() { return HasAddress("10.77.0.3") && !HasAddress("10.77.0.2"); }

// The stamp of the first echo after `since` (UTC ms), or -1 within 30 s.
long long FirstEchoAfter(long long since) {
  long long found = -1;
  WaitFor(
      [&] {
        for (const std::string& line : HostLogLines()) {
          if (line.find("standin-pong") == std::string::npos) continue;
          const long long stamp = StampOf(line);
          if (stamp >= since) {
            found = stamp;
            return true;
          }
        }
        return false;
      },
      seconds(45));
  return found;
}

// Lines of the host log that start a reconnect.
int CountReconnects() {
  int count = 0;
  for (const std::string& line : HostLogLines()) {
    if (line.find("[host] reconnected in ") != std::string::npos) ++count;
  }
  return count;
}

bool Start(Application* app, const char* link = kPrivateNetworkLink) {
  ::DeleteFileW(HostLogPath().c_str());
  if (!ResetPrivateNetwork()) return false;
  app->process = std::make_unique<AppProcess>(
      AppOptions{{"call " + ConnectCallHex(link, app->relay.port()), "sleep 600000"}});
  if (!app->process->Start()) return false;
  app->window = app->process->WaitForWindow(seconds(60));
  // Connected, and a datagram came back through the bridge since.
  int started = -1;
  WaitFor(
      [&] {
        started = FindLine(HostLogLines(), "TUN and WireGuard transport started");
        return started >= 0;
      },
      seconds(60));
  return app->window != nullptr && started >= 0 &&
         FirstEchoAfter(StampOf(HostLogLines()[started])) >= 0;
}

// Runs one scenario on a fresh application; the recovery time in ms, or -1.
long long RunOnce(const std::string& scenario) {
  Application app;
  if (!Start(&app, scenario == "flapping" ? kServerBehindDefaultRoutesLink : kPrivateNetworkLink)) {
    return -1;
  }
  long long from = -1;
  if (scenario == "address change") {
    from = UtcMilliseconds();
    if (!ChangeNetwork("ip addr add 10.77.0.3/24 dev tap0; ip addr del 10.77.0.2/24 dev tap0",
                       &ToAddress3)) {
      return -1;
    }
  } else if (scenario == "route loss and return") {
    if (!ChangeNetwork("ip route del default", [] { return !HasDefaultRoute(); })) return -1;
    if (!WaitFor([] { return FindLine(HostLogLines(), "network unavailable; waiting") >= 0; },
                 seconds(30))) {
      return -1;
    }
    from = UtcMilliseconds();
    if (!ChangeNetwork("ip route add default via 10.77.0.1 dev tap0", &HasDefaultRoute)) return -1;
  } else if (scenario == "relay silence") {
    from = UtcMilliseconds();
    app.relay.set_echo(false);
    if (!WaitFor([] { return FindLine(HostLogLines(), "no answer through the tunnel") >= 0; },
                 seconds(45))) {
      return -1;
    }
    app.relay.set_echo(true);
  } else if (scenario == "flapping") {
    const int before = CountReconnects();
    const auto has_both = [] { return HasAddress("10.77.0.2") && HasAddress("10.78.0.2"); };
    if (!ChangeNetwork("ip addr add 10.78.0.2/24 dev tap0; "
                       "ip route append default via 10.78.0.1 dev tap0",
                       has_both)) {
      return -1;
    }
    for (int flip = 0; flip < 30; ++flip) {
      // Deleted and appended again, the route moves behind the other one.
      const std::string moved = flip % 2 == 0 ? "10.77.0.1" : "10.78.0.1";
      ChangeNetwork("ip route del default via " + moved +
                        " dev tap0; ip route append default via " + moved + " dev tap0",
                    has_both);
      ::Sleep(2000);
    }
    const int reconnects = CountReconnects() - before;
    ::PostMessageW(app.window, WM_CLOSE, 0, 0);
    app.process->WaitForExit(seconds(60));
    return reconnects;
  } else {
    if (!ChangeNetwork("ip addr add 10.77.0.3/24 dev tap0; ip addr del 10.77.0.2/24 dev tap0",
                       &ToAddress3)) {
      return -1;
    }
    from = UtcMilliseconds();
    ::PostMessageW(app.window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  }
  const long long echoed = FirstEchoAfter(from);
  ::PostMessageW(app.window, WM_CLOSE, 0, 0);
  app.process->WaitForExit(seconds(60));
  return echoed < 0 ? -1 : echoed - from;
}

}  // namespace
}  // namespace duzavide::e2e

int main(int argc, char** argv) {
  using duzavide::e2e::RunOnce;
  // One figure alone when named ("flapping", "relay silence", ...).
  const std::string only = argc > 1 ? argv[1] : "";
  if (!duzavide::e2e::InPrivateNetwork()) {
    std::printf("not inside the private test network; run scripts/bench-recover\n");
    return 1;
  }
  const char* labels[][2] = {{"address change", "recovered"},
                             {"route loss and return", "recovered"},
                             {"resume", "re-checked"},
                             {"relay silence", "recovered"}};
  int status = 0;
  for (const auto& label : labels) {
    if (!only.empty() && only != label[0]) continue;
    std::vector<long long> runs;
    for (int run = 0; run < 3; ++run) runs.push_back(RunOnce(label[0]));
    std::sort(runs.begin(), runs.end());
    if (runs.front() < 0) {
      std::printf("%s: did not recover within 45 s\n", label[0]);
      std::fflush(stdout);
      status = 1;
      continue;
    }
    std::printf("%s: %s in %lld ms\n", label[0], label[1], runs[1]);
    std::fflush(stdout);
  }
  if (!only.empty() && only != "flapping") return status;
  const long long reconnects = RunOnce("flapping");
  if (reconnects < 0) {
    std::printf("flapping: the tunnel did not come up\n");
    status = 1;
  } else {
    std::printf("flapping: %lld reconnects in 60 s\n", reconnects);
  }
  std::fflush(stdout);
  duzavide::e2e::ResetPrivateNetwork();
  return status;
}
