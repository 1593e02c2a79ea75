// Many connect/disconnect cycles leave no handle and no core process behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "tests/tunnel/tunnel_session_fixture.h"

namespace duzavide::tunnel_test {
namespace {

constexpr int kCycles = 100;
constexpr DWORD kHandleSlack = 8;

TEST_F(TunnelSessionTest, ConnectDisconnectCyclesLeakNothing) {
  // One cycle first, so the libraries a connect loads are already there.
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  session_.Disconnect();
  session_.TakeLog();
  DWORD handles = HandleCount();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCycles; ++i) {
    ASSERT_TRUE(session_.Connect(LoopbackRequest())) << "cycle " << i;
    session_.Disconnect();
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  session_.TakeLog();
  DWORD handles_after = HandleCount();
  std::printf("handles before %lu, after %d cycles %lu; %lld ms\n",
              static_cast<unsigned long>(handles), kCycles,
              static_cast<unsigned long>(handles_after),
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  EXPECT_GT(handles, 0u);
  EXPECT_LE(handles_after, handles + kHandleSlack);
  EXPECT_EQ(CountCoreProcesses(), 0);
  EXPECT_EQ(lines_.Count(kStartedLine), static_cast<size_t>(kCycles) + 1);
  EXPECT_EQ(lines_.Count(kStoppedLine), static_cast<size_t>(kCycles) + 1);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 0u);
  EXPECT_LT(elapsed, std::chrono::minutes(3));
}

}  // namespace
}  // namespace duzavide::tunnel_test
