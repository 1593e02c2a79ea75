// Connect's failure paths: each returns false, undoes what it set up and says
// which step failed and why.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <thread>

#include "base/wide_to_utf8.h"
#include "base/win_handles.h"
#include "tests/tunnel/tunnel_session_fixture.h"
#include "tunnel/data_folder/data_folder.h"

namespace duzavide::tunnel_test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST_F(TunnelSessionTest, MissingCoreCreatesDataFolderAndNothingElse) {
  HiddenCore hidden;
  // Warm the system libraries the sequence loads, so handle counts compare.
  EXPECT_FALSE(session_.Connect(LoopbackRequest()));
  std::error_code error;
  fs::remove(ConfigFilePath(), error);
  lines_.Clear();
  DWORD handles = HandleCount();

  EXPECT_FALSE(session_.Connect(LoopbackRequest()));

  EXPECT_TRUE(fs::is_directory(DataFolder()));
  // Held since it was verified: it cannot be renamed or replaced meanwhile.
  EXPECT_FALSE(::MoveFileExW(DataFolder().c_str(), (DataFolder() + L".moved").c_str(), 0));
  EXPECT_FALSE(fs::exists(ConfigFilePath()));
  EXPECT_EQ(HandleCount(), handles);  // no socket, pipe, thread or process left
  EXPECT_EQ(lines_.Lines(), std::vector<std::string>{kNotFoundLine});
  EXPECT_FALSE(session_.IsConnected());
}

// Under Wine every file reads back as owned by the user, so a core found only in
// the data folder is one the user could have planted: it must not run.
TEST_F(TunnelSessionTest, UntrustedDataFolderCoreAloneRunsNothing) {
  std::error_code error;
  fs::create_directories(DataFolder(), error);
  ASSERT_TRUE(fs::copy_file(TestExeDirectory() + L"\\xray.exe", StandinCore::DataFolderCopy(),
                            fs::copy_options::overwrite_existing, error));
  fs::remove(ConfigFilePath(), error);
  HiddenCore hidden;
  EXPECT_FALSE(session_.Connect(LoopbackRequest()));
  fs::remove(StandinCore::DataFolderCopy(), error);
  std::vector<std::string> lines = lines_.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "[xray] the folder " + WideToUtf8(DataFolder()) +
                          " cannot be protected -- its volume keeps no access lists; nothing "
                          "that runs elevated is taken from it");
  EXPECT_EQ(lines[1], kSkippedLineStart + std::string("the data folder cannot be protected"));
  EXPECT_EQ(lines[2], kNotFoundLine);
  EXPECT_FALSE(fs::exists(ConfigFilePath()));
  EXPECT_EQ(CountCoreProcesses(), 0);
}

// Each line of a case starts with the text given; every failed step names itself
// and its reason, and leaves no file, socket, thread or process behind.
TEST_F(TunnelSessionTest, FailuresSayWhichStepFailedAndWhyAndUndoTheRest) {
  ConnectRequest no_question = LoopbackRequest();
  no_question.vlessUrl = "vless://user@127.0.0.1:8443";
  ConnectRequest no_at = LoopbackRequest();
  no_at.vlessUrl = "vless://127.0.0.1:8443?security=none";
  // Never routed, and numeric: nothing is looked up or sent.
  ConnectRequest unroutable = LoopbackRequest();
  unroutable.vlessUrl = "vless://user@255.255.255.255:443?security=reality";
  ConnectRequest no_config = LoopbackRequest();
  no_config.address.clear();  // the configuration writer answers "{}"
  const std::wstring core_beside = TestExeDirectory() + L"\\xray.exe";
  std::optional<HiddenCore> hidden;
  std::error_code error;
  const std::function<void()> nothing = [] {};
  struct Case {
    const char* name;
    ConnectRequest request;
    std::function<void()> arrange;
    std::function<void()> restore;
    std::vector<std::string> line_starts;
    bool writes_config = false;
  } cases[] = {
      {"link without question mark",
       no_question,
       nothing,
       nothing,
       {"[xray] connect failed at the share link -- the link has no \"?\""}},
      {"link without at sign",
       no_at,
       nothing,
       nothing,
       {"[xray] connect failed at the share link -- the link has no \"@\""}},
      {"host without a route",
       unroutable,
       nothing,
       nothing,
       {kNoInterfaceLine, "[bridge] connect failed at the interface detection -- no route: "}},
      {"configuration refused",
       no_config,
       nothing,
       nothing,
       {"[xray] connect failed at the configuration -- the WireGuard address is empty"}},
      {"a folder where the configuration file goes",
       LoopbackRequest(),
       [&] { fs::create_directory(ConfigFilePath(), error); },
       [&] { fs::remove(ConfigFilePath(), error); },
       {"[xray] connect failed at the configuration file -- "}},
      {"a core that is no program",
       LoopbackRequest(),
       [&] {
         hidden.emplace();
         std::ofstream(fs::path(core_beside)) << "not a program";
       },
       [&] {
         fs::remove(core_beside, error);
         hidden.reset();
       },
       {"[xray] connect failed at the process creation -- "},
       /*writes_config=*/true},
  };
  EXPECT_FALSE(session_.Connect(no_config));  // warm-up, see above
  lines_.Clear();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(ConfigFilePath(), error);
    c.arrange();
    DWORD handles = HandleCount();
    EXPECT_FALSE(session_.Connect(c.request));
    EXPECT_EQ(HandleCount(), handles);  // bridge thread and sockets are gone again
    const std::vector<std::string> lines = lines_.Lines();
    ASSERT_EQ(lines.size(), c.line_starts.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind(c.line_starts[i], 0), 0u) << lines[i];
    }
    EXPECT_FALSE(session_.IsConnected());
    c.restore();
    EXPECT_EQ(fs::is_regular_file(ConfigFilePath()), c.writes_config);
    lines_.Clear();
  }
  EXPECT_EQ(CountCoreProcesses(), 0);
}

// Files where both data folders go, held open without delete sharing so that
// neither can be moved aside: nothing starts, and one line names each folder.
TEST_F(TunnelSessionTest, WithoutAUsableDataFolderNothingStarts) {
  std::error_code error;
  std::vector<UniqueFileHandle> planted;
  for (const std::wstring& folder : {DataFolder(), SharedDataFolder()}) {
    fs::remove_all(folder, error);
    std::ofstream(fs::path(folder)) << "not a folder";
    planted.emplace_back(::CreateFileW(folder.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
  }
  EXPECT_FALSE(session_.Connect(LoopbackRequest()));
  planted.clear();
  fs::remove(DataFolder(), error);
  fs::remove(SharedDataFolder(), error);
  const std::string not_moved = ": it is not a folder, and it could not be moved aside: ";
  ASSERT_EQ(lines_.Lines().size(), 1u);
  EXPECT_TRUE(std::regex_match(
      lines_.Lines()[0],
      std::regex(
          R"(\[xray\] connect failed at the data folder -- C:\\ProgramData\\Duzavide-S-[0-9-]+)" +
          not_moved + R"(.*; C:\\ProgramData\\Duzavide)" + not_moved + ".*")))
      << lines_.Lines()[0];
  EXPECT_EQ(CountCoreProcesses(), 0);
}

// The core's port taken between its release and the core's listen: the core
// fails to listen and ends, and the connect fails as soon as it has, naming the
// port.
TEST_F(TunnelSessionTest, APortTakenBeforeTheCoreListensFailsAtOnceNamingIt) {
  uint16_t port = 0;
  UniqueSocket squatter;
  std::thread taker;
  steady_clock::time_point launch;
  session_.SetLaunchGate([&](const std::wstring&, std::string*) {
    std::ifstream file{fs::path(ConfigFilePath())};
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    std::smatch found;
    if (std::regex_search(text, found, std::regex(R"("port":\s*(\d+),\s*"tag":\s*"wg-tcp-in")"))) {
      port = static_cast<uint16_t>(std::stoi(found[1]));
    }
    // Bound the moment the session lets the port go, right before the core starts.
    taker = std::thread([&] {
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      for (auto end = steady_clock::now() + milliseconds(5000); steady_clock::now() < end;) {
        squatter.Reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (::bind(squatter.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
          return;
        }
      }
      squatter.Reset();
    });
    launch = steady_clock::now();
    return true;
  });
  EXPECT_FALSE(session_.Connect(LoopbackRequest()));
  EXPECT_LT(steady_clock::now() - launch, milliseconds(1000)) << "waited out the first second";
  taker.join();
  ASSERT_TRUE(squatter);
  EXPECT_EQ(lines_.Count("[bridge] connect failed at the loopback port -- 127.0.0.1:" +
                         std::to_string(port) +
                         " was taken by another program before the core could listen on it"),
            1u);
  EXPECT_EQ(CountCoreProcesses(), 0);
}

// One tunnel per machine. Another session's host (here: a session on another
// thread) can start no core while this one's runs, and the lock goes with the
// core; a lock whose holder ended without letting go keeps nothing down.
TEST_F(TunnelSessionTest, CoreThatExitsAtOnceFailsTheFirstSecondsCheck) {
  // Exits before it reads anything, so it is gone long before the check.
  core_.SetDirectives("exit-at-start 3\n");
  EXPECT_FALSE(session_.Connect(LoopbackRequest()));

  EXPECT_FALSE(session_.IsConnected());
  EXPECT_EQ(lines_.Count(kStartedLine), 0u);
  // Said by the reader when it sees the pipe end before the survival check does
  // the end-of-core work itself; never twice.
  EXPECT_LE(lines_.Count(kUnexpectedLine), 1u);
  EXPECT_EQ(lines_.Count(kStoppedLine), 1u);  // a process handle was still held
  EXPECT_EQ(lines_.Count("[xray] connect failed at the core's first second -- the core ended "
                         "with exit code 3 (see its output)"),
            1u);
  EXPECT_EQ(stopped_.load(), 1);
  EXPECT_EQ(session_.ReadTrafficCounters().downlink_bytes, 0u);
  // Idle again: a further Disconnect has nothing to stop and says nothing.
  size_t lines = lines_.Lines().size();
  session_.Disconnect();
  EXPECT_EQ(lines_.Lines().size(), lines);
  EXPECT_EQ(CountCoreProcesses(), 0);
}

TEST_F(TunnelSessionTest, CoreRejectingItsConfigurationFails) {
  core_.SetDirectives("this is not a directive\n");  // the stand-in exits with 23
  EXPECT_FALSE(session_.Connect(LoopbackRequest()));
  EXPECT_FALSE(session_.IsConnected());
  EXPECT_TRUE(Contains(session_.TakeLog(), "standin-core.txt line 1"));
}

}  // namespace
}  // namespace duzavide::tunnel_test
