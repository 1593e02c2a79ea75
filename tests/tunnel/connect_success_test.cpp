// Connect with the stand-in core: the running session, its files and lines, the
// core's end noticed from outside, and the whole WireGuard data path.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "base/wide_to_utf8.h"
#include "tests/tunnel/tunnel_session_fixture.h"
#include "tunnel/control_channel.h"
#include "tunnel/data_folder/data_folder.h"

namespace duzavide::tunnel_test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

bool UdpPortFree(uint16_t port) {
  SOCKET probe = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::closesocket(probe);
  return bound;
}

TEST_F(TunnelSessionTest, RunsTheCoreUntilItIsKilledFromOutside) {
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  EXPECT_EQ(lines_.Count(kStartedLine), 1u);
  EXPECT_TRUE(session_.IsConnected());
  EXPECT_TRUE(lines_.WaitFor(kBridgeConnectedLine, seconds(5)));

  std::string log = TakeLogUntil([](const std::string& text) { return Contains(text, "\n"); });
  DWORD pid = CorePidFromLog(log);
  uint32_t tcp_port = NumberAfter(log, "listen 127.0.0.1:");
  uint32_t udp_port = NumberAfter(log, "peer 127.0.0.1:");
  ASSERT_NE(pid, 0u) << log;
  ASSERT_NE(tcp_port, 0u);
  ASSERT_NE(udp_port, 0u);

  // The file the core read: line feeds stored as CR LF, the session's real ports.
  std::string config = ReadFileBytes(ConfigFilePath());
  ASSERT_FALSE(config.empty());
  size_t feeds = 0;
  for (size_t i = 0; i < config.size(); ++i) {
    if (config[i] != '\n') continue;
    ++feeds;
    EXPECT_TRUE(i > 0 && config[i - 1] == '\r') << "bare line feed at " << i;
  }
  EXPECT_GT(feeds, 10u);
  EXPECT_TRUE(Contains(config, "\"port\": " + std::to_string(tcp_port) + ",\r\n"));
  EXPECT_TRUE(Contains(config, "\"endpoint\": \"127.0.0.1:" + std::to_string(udp_port) + "\""));
  EXPECT_FALSE(UdpPortFree(static_cast<uint16_t>(udp_port)));  // the bridge holds it

  // Connected: any further Connect answers true at once without looking.
  auto start = steady_clock::now();
  EXPECT_TRUE(session_.Connect(ConnectRequest()));
  EXPECT_LT(steady_clock::now() - start, milliseconds(200));
  EXPECT_EQ(lines_.Count(kStartedLine), 1u);

  // The core dies without Disconnect.
  HANDLE core = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(core, nullptr);
  ASSERT_TRUE(::TerminateProcess(core, 9));
  EXPECT_EQ(::WaitForSingleObject(core, 5000), WAIT_OBJECT_0);
  ::CloseHandle(core);
  EXPECT_TRUE(lines_.WaitFor(kUnexpectedLine, seconds(5)));
  EXPECT_FALSE(session_.IsConnected());
  EXPECT_TRUE(WaitUntil([&] { return UdpPortFree(static_cast<uint16_t>(udp_port)); }, seconds(4)));
  EXPECT_EQ(stopped_.load(), 1);
  TrafficCounters counters = session_.ReadTrafficCounters();
  EXPECT_EQ(counters.downlink_bytes, 0u);
  EXPECT_EQ(counters.uplink_bytes, 0u);
  EXPECT_EQ(lines_.Count(kStoppedLine), 0u);

  // Process, thread, job, pipe end and reader thread stay held until Disconnect.
  DWORD held = HandleCount();
  session_.Disconnect();
  EXPECT_LE(HandleCount() + 5, held);
  EXPECT_EQ(lines_.Count(kStoppedLine), 1u);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 1u);
  EXPECT_EQ(stopped_.load(), 1);
}

TEST_F(TunnelSessionTest, CarriesDatagramsBothWaysThroughTheRelay) {
  EchoRelay relay;
  ConnectRequest request = LoopbackRequest(relay.port());

  // Through the control channel, as the interface does it.
  auto call = [&](const char* method, std::unique_ptr<EncodableValue> arguments) {
    return RunControlChannelCall(session_, MethodCall(method, std::move(arguments))).value;
  };
  EncodableMap wireguard{
      {EncodableValue("private_key"), EncodableValue(request.private_key)},
      {EncodableValue("address"), EncodableValue(request.address)},
      {EncodableValue("server_public_key"), EncodableValue(request.server_public_key)},
      {EncodableValue("relay_address"), EncodableValue("127.0.0.1")},
      {EncodableValue("relay_port"), EncodableValue(static_cast<int32_t>(relay.port()))}};
  EncodableMap arguments{{EncodableValue("vlessUrl"), EncodableValue(request.vlessUrl)},
                         {EncodableValue("wireguard"), EncodableValue(wireguard)}};
  ASSERT_EQ(call("connect", std::make_unique<EncodableValue>(arguments)), EncodableValue(true));

  std::string first = TakeLogUntil([](const std::string& t) { return Contains(t, "\n"); });
  EXPECT_TRUE(Contains(first, "standin-core started pid "));
  std::string later;
  auto deadline = steady_clock::now() + seconds(10);
  while (!Contains(later, "standin-pong standin-ping ") && steady_clock::now() < deadline) {
    ::Sleep(100);
    later += std::get<std::string>(call("getLog", nullptr));
  }
  EXPECT_TRUE(Contains(later, "standin-pong standin-ping ")) << later;
  EXPECT_FALSE(Contains(later, "standin-core started"));  // taken before, not again
  EXPECT_GT(relay.frames(), 0);

  // An unusable request while connected is refused and leaves the tunnel up.
  EXPECT_EQ(call("connect", std::make_unique<EncodableValue>(EncodableMap{})),
            EncodableValue(false));
  EXPECT_EQ(call("isConnected", nullptr), EncodableValue(true));
  EXPECT_EQ(call("disconnect", nullptr), EncodableValue(true));
  EXPECT_EQ(call("isConnected", nullptr), EncodableValue(false));
  EXPECT_EQ(lines_.Count(kStoppedLine), 1u);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 0u);
  EXPECT_EQ(stopped_.load(), 0);
  EXPECT_EQ(CountCoreProcesses(), 0);
}

// Under Wine every file reads back as owned by the user, so the data folder
// cannot be protected and a core placed there is one the user could have
// planted: it is skipped with its reason, and the copy beside the executable runs
// (the planted one would not read the directives beside the executable).
TEST_F(TunnelSessionTest, SkipsAnUntrustedDataFolderCoreForTheOneBesideTheExecutable) {
  std::error_code error;
  fs::create_directories(DataFolder(), error);
  ASSERT_TRUE(fs::copy_file(TestExeDirectory() + L"\\xray.exe", StandinCore::DataFolderCopy(),
                            fs::copy_options::overwrite_existing, error));
  core_.SetDirectives("print started beside the executable\\n\n");
  bool connected = session_.Connect(LoopbackRequest());
  fs::remove(StandinCore::DataFolderCopy(), error);
  ASSERT_TRUE(connected);
  std::string log = TakeLogUntil(
      [](const std::string& t) { return Contains(t, "started beside the executable\n"); });
  EXPECT_TRUE(Contains(log, "started beside the executable\n")) << log;
  EXPECT_EQ(lines_.Count(kSkippedLineStart + std::string("the data folder cannot be protected")),
            1u);
}

// The configuration is never written through a name that is already there: a
// second name of another file is replaced, not written into, and a temporary file
// left by a host that died mid-write is gone.
TEST_F(TunnelSessionTest, TheConfigurationReplacesWhatHoldsItsNameAndLeavesNoTemporaryFile) {
  std::error_code error;
  fs::create_directories(DataFolder(), error);
  const fs::path victim = fs::path(TestExeDirectory()) / "victim.txt";
  const fs::path leftover = fs::path(DataFolder()) / "config-0123456789abcdef.tmp";
  std::ofstream(victim) << "not the configuration";
  std::ofstream(leftover) << "{}";
  fs::remove(ConfigFilePath(), error);
  ASSERT_TRUE(::CreateHardLinkW(ConfigFilePath().c_str(), victim.wstring().c_str(), nullptr));

  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  EXPECT_EQ(ReadFileBytes(victim.wstring()), "not the configuration");
  EXPECT_EQ(fs::hard_link_count(ConfigFilePath()), 1u);
  EXPECT_TRUE(Contains(ReadFileBytes(ConfigFilePath()), "\"wg-tcp-in\""));
  EXPECT_FALSE(fs::exists(leftover));
  for (const auto& entry : fs::directory_iterator(DataFolder())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }
  session_.Disconnect();
  fs::remove(victim, error);
}

// The core runs elevated: nothing the user set steers it (the core's variables
// in either spelling, its runtime's), and it reads its data files from the
// folder it was started from.
TEST_F(TunnelSessionTest, TheCoreGetsItsAssetFolderAndNoInheritedXrayVariable) {
  const wchar_t* planted[] = {L"XRAY_LOCATION_ASSET",  L"xray_location_config",
                              L"Xray_Ray_Buffer_Size", L"xray.location.confdir",
                              L"Xray.Location.Asset",  L"GODEBUG"};
  for (const wchar_t* name : planted) ::SetEnvironmentVariableW(name, L"C:\\planted");
  // The runtime's variables first: the pipe keeps the order, so they have been
  // written when the core's are read.
  core_.SetDirectives("print-env go\nprint-env xray\n");
  const bool connected = session_.Connect(LoopbackRequest());
  for (const wchar_t* name : planted) ::SetEnvironmentVariableW(name, nullptr);
  ASSERT_TRUE(connected);
  const std::string log =
      TakeLogUntil([](const std::string& text) { return Contains(text, "standin-env "); });
  // All of them in one write: the asset folder, and nothing else.
  EXPECT_TRUE(
      Contains(log, "\nstandin-env XRAY_LOCATION_ASSET=" + WideToUtf8(TestExeDirectory()) + "\n"))
      << log;
  EXPECT_EQ(log.find("standin-env "), log.rfind("standin-env ")) << log;
  session_.Disconnect();
}

// Any program of the user may point the user's "Local AppData" elsewhere (a
// share, a junction into the object namespace): the elevated host creates and
// writes nothing there.
TEST_F(TunnelSessionTest, ARedirectedLocalAppDataIsNotFollowed) {
  const wchar_t kKey[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  wchar_t saved[MAX_PATH] = {};
  DWORD size = sizeof(saved);
  const bool had_value =
      ::RegGetValueW(HKEY_CURRENT_USER, kKey, L"Local AppData", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, saved, &size) == ERROR_SUCCESS;
  const fs::path redirected = fs::path(TestExeDirectory()) / "redirected";
  std::error_code error;
  fs::remove_all(redirected, error);
  fs::create_directories(redirected, error);
  const std::wstring target = redirected.wstring();
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Local AppData", REG_EXPAND_SZ,
                              target.c_str(), static_cast<DWORD>((target.size() + 1) * 2)),
            ERROR_SUCCESS);
  const bool connected = session_.Connect(LoopbackRequest());
  if (had_value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Local AppData", REG_EXPAND_SZ, saved,
                      static_cast<DWORD>((wcslen(saved) + 1) * 2));
  } else {
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"Local AppData");
  }
  EXPECT_TRUE(connected);
  EXPECT_TRUE(fs::is_empty(redirected)) << redirected;
  EXPECT_TRUE(fs::is_regular_file(ConfigFilePath()));
  session_.Disconnect();
  fs::remove_all(redirected, error);
}

// A child of the core keeps the output pipe open after the core is killed, so
// only IsConnected can see the end; Disconnect's job closing ends the child too.
TEST_F(TunnelSessionTest, CoreEndSeenByIsConnectedWhileItsChildHoldsThePipe) {
  core_.SetDirectives("spawn-child\n");
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  std::string log = TakeLogUntil([](const std::string& t) { return Contains(t, "\n"); });
  HANDLE core = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, CorePidFromLog(log));
  ASSERT_NE(core, nullptr);
  // The child is up (bounded poll: starting a process can take long on a busy machine).
  auto up_deadline = steady_clock::now() + seconds(10);
  while (CountCoreProcesses() < 2 && steady_clock::now() < up_deadline) ::Sleep(50);
  ASSERT_EQ(CountCoreProcesses(), 2);
  ASSERT_TRUE(::TerminateProcess(core, 9));
  EXPECT_EQ(::WaitForSingleObject(core, 5000), WAIT_OBJECT_0);
  ::CloseHandle(core);
  ::Sleep(500);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 0u);  // the pipe has not ended
  EXPECT_EQ(stopped_.load(), 0);

  EXPECT_FALSE(session_.IsConnected());
  EXPECT_EQ(stopped_.load(), 1);
  EXPECT_FALSE(session_.IsConnected());
  EXPECT_EQ(stopped_.load(), 1);  // the end is handled once

  // Closing the job ends the child at once, and with it the pipe.
  auto start = steady_clock::now();
  session_.Disconnect();
  // Well inside the reader's 3000 ms wait: the pipe ended, it was not given up on.
  EXPECT_LT(steady_clock::now() - start, milliseconds(3000));
  EXPECT_EQ(CountCoreProcesses(), 0);
  EXPECT_EQ(lines_.Count(kUnexpectedLine), 0u);
  EXPECT_EQ(lines_.Count(kStoppedLine), 1u);
}

// The core gets its output pipe and nothing else of the host: an inheritable pipe
// end held by the host is not passed on, so closing the host's copy breaks it.
TEST_F(TunnelSessionTest, CoreInheritsOnlyItsOutputPipe) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(::CreatePipe(&read_end, &write_end, &inheritable, 0));
  ASSERT_TRUE(session_.Connect(LoopbackRequest()));
  ::CloseHandle(write_end);
  DWORD available = 0;
  BOOL peeked = ::PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr);
  DWORD error = ::GetLastError();
  ::CloseHandle(read_end);
  EXPECT_FALSE(peeked) << "the core holds a copy of an unrelated inheritable handle";
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

}  // namespace
}  // namespace duzavide::tunnel_test
