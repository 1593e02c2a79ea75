// Shared pieces of the tunnel tests: placing the stand-in core, recording lines,
// an echoing relay on 127.0.0.1, and looking at processes.
#ifndef TESTS_TUNNEL_TUNNEL_TEST_SUPPORT_H_
#define TESTS_TUNNEL_TUNNEL_TEST_SUPPORT_H_

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/method_call.h"
#include "config/connect_request.h"
#include "tests/support/core_processes.h"
#include "tests/tunnel/proxy_setting/proxy_options_printer.h"

namespace duzavide::tunnel_test {

// A "connect" call that the stand-in core accepts, through 127.0.0.1 only; or the
// same call with another share link and relay port.
MethodCall ConnectCall();
MethodCall ConnectCall(const std::string& vless_url, uint16_t relay_port = 9);
// The first with the relay at 127.0.0.1:`relay_port`.
MethodCall ConnectCall(uint16_t relay_port);

// The test executable's directory, where the build puts the stand-in xray.exe.
std::wstring TestExeDirectory();

// Writes / removes the directive file beside the stand-in core that the build puts
// beside the test program. Under Wine a core in the data folder is never trusted
// (every file there reads back as owned by the user), so that copy is the one run.
// Removes the directives on destruction.
class StandinCore {
 public:
  StandinCore();
  ~StandinCore();
  void SetDirectives(const std::string& text);
  void ClearDirectives();
  // Where the host looks for a core first.
  static std::wstring DataFolderCopy();

 private:
  std::wstring directives_path_;
};

// Moves the stand-in core beside the test program out of the way, and back.
class HiddenCore {
 public:
  HiddenCore();
  ~HiddenCore();

 private:
  std::vector<std::wstring> moved_;
};

// Thread-safe record of observer lines.
class LineRecorder {
 public:
  void Add(const std::string& line);
  void Clear();
  std::vector<std::string> Lines();
  size_t Count(const std::string& line);
  // Waits until `line` has been recorded at least `times` times.
  bool WaitFor(const std::string& line, std::chrono::milliseconds timeout, size_t times = 1);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

// A TCP listener on 127.0.0.1 that reads length-prefixed frames and writes each
// frame back unchanged (or, when not echoing, just swallows them). Counts frames.
class EchoRelay {
 public:
  explicit EchoRelay(bool echo = true);
  ~EchoRelay();
  uint16_t port() const { return port_; }
  int frames() const { return frames_.load(); }
  // Whether frames are written back from now on (a relay that goes silent).
  void set_echo(bool echo) { echo_.store(echo); }

 private:
  void Serve();
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::atomic<bool> echo_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> frames_{0};
  std::atomic<SOCKET> client_{INVALID_SOCKET};
  std::thread thread_;
};

// A request the configuration writer accepts, whose proxy host is 127.0.0.1.
ConnectRequest LoopbackRequest(uint16_t relay_port = 9);

// Handles open in this process: GetProcessHandleCount, or where that reports
// nothing (Wine), the entries of the system handle table owned by this process.
DWORD OwnHandleCount();

// Private bytes committed by this process (its heap and stacks, not its image).
size_t OwnPrivateBytes();

// The per-connection proxy flags of the default connection, and setting them.
// Wine reports a manual proxy as PROXY_TYPE_PROXY alone.
DWORD ProxyFlags();
bool SetProxyFlags(DWORD flags);
bool ManualProxyOn();

// All five per-connection options of the default connection, read and written
// here with the plain flags option in one list each, apart from the product's
// code. Under Wine only the flags (a manual proxy reads back as its flag alone;
// the script and detection flags are dropped) and the proxy server (of a
// "scheme=" list only the http entry) are kept.
ProxyOptions ReadProxySetting();
bool WriteProxySetting(const ProxyOptions& options);
// A manual proxy setting: `server` and the bypass list "*.corp.test;<local>".
ProxyOptions ManualProxy(const std::wstring& server);

// The saved setting (the journal) and the restore program's RunOnce command;
// empty when there is none.
bool SavedProxySettingExists();
std::wstring ProxyRestoreRunOnceCommand();
// Deletes both, so a test starts without a setting an earlier one left saved.
void ForgetSavedProxySetting();

// Polls `done` until it holds (true) or `timeout` has passed (false).
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A loopback port with nothing listening on it (bound, then closed).
uint16_t FreeLoopbackPort();

// The pid from the stand-in's start line in `log`, or 0.
DWORD CorePidFromLog(const std::string& log);
// The number after `key` (e.g. "listen 127.0.0.1:") in `log`, or 0.
uint32_t NumberAfter(const std::string& log, const std::string& key);

std::string ReadFileBytes(const std::wstring& path);

}  // namespace duzavide::tunnel_test

#endif  // TESTS_TUNNEL_TUNNEL_TEST_SUPPORT_H_
