// The core's output as it reaches the log and the line observer through the real
// pipe and reader thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "tests/tunnel/tunnel_session_fixture.h"

namespace duzavide::tunnel_test {
namespace {

// Observer lines after the stand-in's start line, without the status lines.
std::vector<std::string> CoreLines(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    if (line.rfind("[xray] ", 0) == 0 || line.rfind("[bridge] ", 0) == 0) continue;
    if (line.rfind("standin-core started", 0) == 0) continue;
    out.push_back(line);
  }
  return out;
}

// A relay that accepts the core's forwarded stream and stays silent, so the
// core prints nothing but what a test asks for.
class CoreOutputTest : public TunnelSessionTest {
 protected:
  EchoRelay relay_{/*echo=*/false};
};

TEST_F(CoreOutputTest, CrLfLineThenPartialLine) {
  core_.SetDirectives("print first\\r\\nsecond\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  std::string log = TakeLogUntil([](const std::string& t) { return Contains(t, "second"); });
  EXPECT_TRUE(Contains(log, "\nfirst\r\nsecond")) << log;
  EXPECT_EQ(CoreLines(lines_.Lines()), (std::vector<std::string>{"first\r", "second"}));
}

TEST_F(CoreOutputTest, LongOutputWithoutLineFeed) {
  core_.SetDirectives("print-bytes 5000 b\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  const std::string run(5000, 'b');
  std::string log = TakeLogUntil([&](const std::string& t) { return Contains(t, run); });
  EXPECT_TRUE(Contains(log, "\n" + run));  // joined in the log
  std::vector<std::string> pieces = CoreLines(lines_.Lines());
  EXPECT_GE(pieces.size(), 2u);  // reads are at most 4095 bytes
  size_t total = 0;
  for (const std::string& piece : pieces) {
    EXPECT_EQ(piece.find_first_not_of('b'), std::string::npos);
    total += piece.size();
  }
  EXPECT_EQ(total, 5000u);
}

TEST_F(CoreOutputTest, CharacterAtTheReadBoundaryStaysWhole) {
  // One write of 4094 ASCII bytes and then two-byte characters: a read of at most
  // 4095 bytes that starts with the write ends inside the first character.
  std::string characters;
  for (int i = 0; i < 40; ++i) characters += "\\xc3\\xa9";
  core_.SetDirectives("print " + std::string(4094, 'a') + characters + " end\\n\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  std::string log = TakeLogUntil([](const std::string& t) { return Contains(t, " end\n"); });
  std::string expected = std::string(4094, 'a');
  for (int i = 0; i < 40; ++i) expected += "\xC3\xA9";
  EXPECT_TRUE(Contains(log, expected + " end\n"));
  EXPECT_FALSE(Contains(log, "\xEF\xBF\xBD"));
}

TEST_F(CoreOutputTest, UntakenOutputSurvivesIntoTheNextRun) {
  core_.SetDirectives("print from the first run\\n\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  ::Sleep(300);
  session_.Disconnect();
  core_.SetDirectives("print from the second run\\n\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  std::string log = TakeLogUntil([](const std::string& t) { return Contains(t, "second run"); });
  size_t first = log.find("from the first run\n");
  size_t second = log.find("from the second run\n");
  ASSERT_NE(first, std::string::npos) << log;
  ASSERT_NE(second, std::string::npos) << log;
  EXPECT_LT(first, second);
}

// A reader held up in the line observer past every wait of Disconnect, and let
// go only while the next run is connected, must leave that run alone: its core
// ending is no news about the new core.
TEST_F(CoreOutputTest, ReaderHeldPastDisconnectLeavesTheNextRunAlone) {
  UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle held_reader;
  std::atomic<bool> held{false};
  session_.SetLineObserver([&](const std::string& line) {
    // Only the first run's reader sees this line; `held` hands the handle over.
    if (line == "hold the reader" && !held_reader) {
      HANDLE self = nullptr;
      ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self,
                        SYNCHRONIZE, FALSE, 0);
      held_reader.Reset(self);
      held = true;
      ::WaitForSingleObject(release.Get(), INFINITE);
    }
    lines_.Add(line);
  });
  core_.SetDirectives("print hold the reader\\n\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  ASSERT_TRUE(lines_.WaitFor(kStartedLine, std::chrono::seconds(5)));
  for (int i = 0; i < 100 && !held; ++i) ::Sleep(50);
  ASSERT_TRUE(held);

  session_.Disconnect();  // gives up on the held reader after its bounded waits
  core_.ClearDirectives();
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  ::SetEvent(release.Get());
  ASSERT_EQ(::WaitForSingleObject(held_reader.Get(), 10000), WAIT_OBJECT_0);

  EXPECT_TRUE(session_.IsConnected());
  EXPECT_TRUE(session_.core_running());
  EXPECT_EQ(stopped_, 0);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 0u);
}

// About 100 MB written as fast as the pipe takes them: whenever the log is taken
// it holds at most its bound, and the process's memory stays a few MB above idle.
TEST_F(CoreOutputTest, FloodKeepsLogAndMemoryBounded) {
  constexpr unsigned long long kFloodBytes = 100'000'000;
  constexpr size_t kMemorySlack = 8u << 20;
  // Splits every read into lines like a real observer, keeps nothing.
  session_.SetLineObserver([](const std::string&) {});
  core_.SetDirectives("flood " + std::to_string(kFloodBytes) +
                      "\nprint \\nstandin-flood done\\n\n");
  const size_t idle = OwnPrivateBytes();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(session_.Connect(LoopbackRequest(relay_.port())));
  size_t largest_take = 0;
  size_t peak = idle;
  bool done = false;
  const auto deadline = start + std::chrono::minutes(5);
  while (!done && std::chrono::steady_clock::now() < deadline) {
    const std::string taken = session_.TakeLog();
    largest_take = std::max(largest_take, taken.size());  // ASCII: bytes are units
    peak = std::max(peak, OwnPrivateBytes());
    done = Contains(taken, "standin-flood done\n");
    if (!done) ::Sleep(20);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "flood: %llu bytes in %.1f s (%.1f MB/s); largest getLog %zu units; private bytes "
      "idle %zu, peak %zu (+%zu)\n",
      kFloodBytes, seconds, kFloodBytes / 1e6 / seconds, largest_take, idle, peak, peak - idle);
  ASSERT_TRUE(done) << "the flood did not end within the bounded wait";
  EXPECT_LE(largest_take, SessionLog::kMaxUnits);
  EXPECT_LE(peak, idle + kMemorySlack);
}

}  // namespace
}  // namespace duzavide::tunnel_test
