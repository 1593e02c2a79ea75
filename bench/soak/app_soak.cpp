// What the host keeps from each connect and disconnect: the real Duzavide.exe,
// driven through the real channel by the stand-in engine's script, connects,
// asks for the figures, disconnects and takes the log, many times. Its resident memory (the working
// set) is read while it rests every 50 cycles; the first 50 cycles warm up
// (caches, pools and the heap's first growth), the next N are measured.
//   app_soak [cycles]   (default 400)
// Prints "cycle <C>: resident <K> KiB" at each rest and then
// "resident memory: <+D> KiB over <N> cycles (<X.XX> KiB a cycle)". Exits 1
// when a call gets no answer, a connect fails, or the application ends early.
#include <windows.h>
// Needs the declarations of windows.h first.
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/app_process.h"

namespace duzavide::e2e {
namespace {

using std::chrono::seconds;

constexpr int kWarmUpCycles = 50;
constexpr int kCyclesPerRest = 50;
constexpr int kRestMs = 3000;
constexpr int kCallsPerCycle = 4;

long long ResidentKiB(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(process, &counters, sizeof(counters))) return -1;
  return static_cast<long long>(counters.WorkingSetSize / 1024);
}

int Answers(const AppProcess& app, bool* failed) {
  int answers = 0;
  for (const std::string& line : app.Transcript()) {
    if (line.rfind("reply", 0) != 0 && line != "noreply") continue;
    ++answers;
    // Every call answers with a success; a failure or no answer at all ends
    // the run.
    if (line == "noreply" || line.rfind("reply 01", 0) == 0) *failed = true;
  }
  return answers;
}

int Run(int measured_cycles) {
  const int cycles = kWarmUpCycles + measured_cycles;
  std::vector<std::string> script{"sleep 1000"};
  const std::string connect = "call " + ConnectCallHex();
  const std::string disconnect = "call " + MethodCallHex("disconnect");
  // The interface takes the core's log and the figures once a second; a host
  // nobody asks keeps up to the log's bound, which is no growth per cycle.
  const std::string get_log = "call " + MethodCallHex("getLog");
  const std::string get_stats = "call " + MethodCallHex("getStats");
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    script.push_back(connect);
    script.push_back(get_stats);
    script.push_back(disconnect);
    script.push_back(get_log);
    if (cycle % kCyclesPerRest == 0) script.push_back("sleep " + std::to_string(kRestMs));
  }
  script.push_back("close");
  AppProcess app(AppOptions{script});
  if (!app.Start()) return 1;
  long long warm = -1;
  for (int rest = kCyclesPerRest; rest <= cycles; rest += kCyclesPerRest) {
    bool failed = false;
    // A cycle takes about a second; a rest is reached well within this.
    const bool reached = WaitFor(
        [&] {
          return Answers(app, &failed) >= kCallsPerCycle * rest || failed || app.WaitForExit({});
        },
        seconds(kCyclesPerRest * 20));
    if (!reached || failed || app.exit_code() != STILL_ACTIVE) {
      std::printf("cycle %d: the application %s\n", rest,
                  failed ? "got a failure or no answer" : "did not get there");
      return 1;
    }
    ::Sleep(kRestMs / 2);
    const long long resident = ResidentKiB(app.handle());
    std::printf("cycle %d: resident %lld KiB\n", rest, resident);
    std::fflush(stdout);
    if (rest == kWarmUpCycles) warm = resident;
    if (rest == cycles) {
      const long long grown = resident - warm;
      std::printf("resident memory: %+lld KiB over %d cycles (%.2f KiB a cycle)\n", grown,
                  measured_cycles, static_cast<double>(grown) / measured_cycles);
    }
  }
  return app.WaitForExit(seconds(60)) && app.exit_code() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace duzavide::e2e

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 400;
  if (cycles <= 0 || cycles % 50 != 0) {
    std::printf("usage: app_soak [cycles, a multiple of 50]\n");
    return 2;
  }
  return duzavide::e2e::Run(cycles);
}
