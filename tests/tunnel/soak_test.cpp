// Many connect/disconnect cycles leave no handle, no memory and no core process
// behind, and the user's proxy setting exactly as it was. CTest runs a short soak; scripts/soak
// sets DUZAVIDE_SOAK_CYCLES for a long one and reads the figures printed every 100 cycles.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/tunnel/tunnel_session_fixture.h"

namespace duzavide::tunnel_test {
namespace {

constexpr int kDefaultCycles = 20;
constexpr int kReportEvery = 100;
constexpr DWORD kHandleSlack = 8;
constexpr size_t kPrivateBytesSlack = 8u << 20;

int Cycles() {
  const char* text = std::getenv("DUZAVIDE_SOAK_CYCLES");
  const int cycles = text != nullptr ? std::atoi(text) : 0;
  return cycles > 0 ? cycles : kDefaultCycles;
}

void Report(int cycle, DWORD handles, size_t private_bytes, int cores) {
  std::printf("soak cycle %d: handles %lu, private bytes %zu, stand-in cores alive %d\n", cycle,
              static_cast<unsigned long>(handles), private_bytes, cores);
  std::fflush(stdout);
}

TEST_F(TunnelSessionTest, ConnectDisconnectCyclesLeakNothing) {
  const int cycles = Cycles();
  ForgetSavedProxySetting();
  ASSERT_TRUE(WriteProxySetting(ManualProxy(L"10.1.2.3:3128")));
  const ProxyOptions setting = ReadProxySetting();
  // One cycle first, so the libraries a connect loads are already there.
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  session_.Disconnect();
  session_.TakeLog();
  const DWORD handles = HandleCount();
  const size_t private_bytes = OwnPrivateBytes();
  Report(0, handles, private_bytes, CountCoreProcesses());
  for (int i = 1; i <= cycles; ++i) {
    ASSERT_TRUE(session_.Connect(LoopbackRequest())) << "cycle " << i;
    session_.Disconnect();
    session_.TakeLog();
    if (i % kReportEvery == 0 || i == cycles) {
      const DWORD handles_now = HandleCount();
      const size_t private_now = OwnPrivateBytes();
      const int cores = CountCoreProcesses();
      Report(i, handles_now, private_now, cores);
      ASSERT_LE(handles_now, handles + kHandleSlack) << "cycle " << i;
      ASSERT_LE(private_now, private_bytes + kPrivateBytesSlack) << "cycle " << i;
      ASSERT_EQ(cores, 0) << "cycle " << i;
      ASSERT_EQ(ReadProxySetting(), setting) << "cycle " << i;
    }
  }
  EXPECT_GT(handles, 0u);
  EXPECT_EQ(lines_.Count(kStartedLine), static_cast<size_t>(cycles) + 1);
  EXPECT_EQ(lines_.Count(kStoppedLine), static_cast<size_t>(cycles) + 1);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 0u);
}

}  // namespace
}  // namespace duzavide::tunnel_test
