// Runs the assembled Duzavide.exe as a separate process with the stand-in engine in
// script mode, and observes it from outside: its window, exit code, standard error
// and the script's transcript.
#ifndef TESTS_E2E_APP_PROCESS_H_
#define TESTS_E2E_APP_PROCESS_H_

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "base/win_handles.h"

namespace duzavide::e2e {

// The folder holding Duzavide.exe, flutter_windows.dll, xray.exe and "data".
std::wstring AppFolder();

// Lowercase hex of a method call / a success reply in the standard method codec.
std::string MethodCallHex(const std::string& method);
std::string ConnectCallHex();
std::string ConnectCallHex(const std::string& vless_url, uint16_t relay_port = 9);
std::string SuccessReplyHex(bool value);
std::string ZeroStatsReplyHex();

struct AppOptions {
  std::vector<std::string> script;  // one command per entry
  bool fail_view_creation = false;
};

class AppProcess {
 public:
  explicit AppProcess(AppOptions options);
  ~AppProcess();  // terminates a process that is still running
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  // Starts the process. False (with a test failure) when it cannot start.
  bool Start();

  // The main window once it exists, else null after `timeout`.
  HWND WaitForWindow(std::chrono::milliseconds timeout);

  // Waits until the process ends; false when it is still running after `timeout`.
  bool WaitForExit(std::chrono::milliseconds timeout);
  // Ends the process as the system does at the end of the Windows session.
  void Terminate();
  DWORD exit_code() const;
  // The running process, owned by this object; null before Start.
  HANDLE handle() const { return process_.Get(); }

  // Raises CTRL_BREAK_EVENT inside the process as the system does for its
  // console's event: a thread of the process runs the system's control routine,
  // which calls the process's handlers. (Wine 8's consoles carry no events:
  // GenerateConsoleCtrlEvent fails there with ERROR_INVALID_HANDLE.)
  bool RaiseConsoleBreak();

  // Ends the process at once, as a crash or the task manager would, and waits.
  void Kill();

  // Transcript lines written so far without the stall meter's, and everything the
  // process wrote to stderr.
  std::vector<std::string> Transcript() const;
  std::string StandardError() const;

 private:
  AppOptions options_;
  std::wstring work_folder_;
  std::wstring script_path_;
  std::wstring transcript_path_;
  std::wstring stderr_path_;
  UniqueHandle process_;
};

// The host log of this account, and whether it holds the entry `text` (a regular
// expression), time stamp first.
std::wstring HostLogPath();
bool HostLogHasEntry(const std::string& text);

// The bytes of `path`, read while others may still write it; empty when unreadable.
std::string ReadWholeFile(const std::wstring& path);

// Waits until `predicate` holds, polling; returns its last value.
bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

// The pid in the stand-in core's start line inside a "getLog" reply, 0 if none.
DWORD CorePidFromReplyHex(const std::string& reply_hex);

// True when process `pid` does not run (any more) within `timeout`.
bool ProcessGone(DWORD pid, std::chrono::milliseconds timeout);

}  // namespace duzavide::e2e

#endif  // TESTS_E2E_APP_PROCESS_H_
