#include "tests/e2e/app_process.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/standard_method_codec.h"
#include "tests/tunnel/tunnel_test_support.h"
#include "tunnel/data_folder/data_folder.h"

namespace duzavide::e2e {

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0xF]);
  }
  return text;
}

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring NewWorkFolder() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  static int counter = 0;
  const std::wstring folder = std::wstring(temp) + L"duzavide-e2e-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
  ::CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace

std::wstring AppFolder() {
  std::wstring relative = DUZAVIDE_APP_FOLDER_FROM_TESTS;
  for (wchar_t& c : relative) {
    if (c == L'/') c = L'\\';
  }
  wchar_t full[MAX_PATH] = {};
  ::GetFullPathNameW((ExeFolder() + L"\\" + relative).c_str(), MAX_PATH, full, nullptr);
  return full;
}

std::string MethodCallHex(const std::string& method) {
  return Hex(*StandardMethodCodec::GetInstance().EncodeMethodCall(MethodCall(method, nullptr)));
}

std::string ConnectCallHex() {
  return Hex(*StandardMethodCodec::GetInstance().EncodeMethodCall(tunnel_test::ConnectCall()));
}

std::string ConnectCallHex(const std::string& vless_url, uint16_t relay_port) {
  return Hex(*StandardMethodCodec::GetInstance().EncodeMethodCall(
      tunnel_test::ConnectCall(vless_url, relay_port)));
}

std::string SuccessReplyHex(bool value) {
  const EncodableValue result(value);
  return Hex(*StandardMethodCodec::GetInstance().EncodeSuccessReply(&result));
}

std::string ZeroStatsReplyHex() {
  const EncodableValue result(EncodableMap{
      {EncodableValue("downlinkBytes"), EncodableValue(int64_t{0})},
      {EncodableValue("uplinkBytes"), EncodableValue(int64_t{0})},
  });
  return Hex(*StandardMethodCodec::GetInstance().EncodeSuccessReply(&result));
}

AppProcess::AppProcess(AppOptions options) : options_(std::move(options)) {
  work_folder_ = NewWorkFolder();
  script_path_ = work_folder_ + L"\\script.txt";
  transcript_path_ = work_folder_ + L"\\transcript.txt";
  stderr_path_ = work_folder_ + L"\\stderr.txt";
  // The engine appends: a folder left by an earlier run whose process had the same
  // id must not lend its transcript to this one.
  ::DeleteFileW(transcript_path_.c_str());
}

AppProcess::~AppProcess() {
  if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(process_.Get(), 99);
    ::WaitForSingleObject(process_.Get(), 10000);
  }
}

bool AppProcess::Start() {
  {
    std::ofstream script(script_path_.c_str(), std::ios::binary);
    for (const std::string& line : options_.script) script << line << "\n";
  }
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  UniqueFileHandle error_file(::CreateFileW(stderr_path_.c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!error_file) {
    ADD_FAILURE() << "cannot create the stderr file";
    return false;
  }

  ::SetEnvironmentVariableW(L"DUZAVIDE_ENGINE_SCRIPT", script_path_.c_str());
  ::SetEnvironmentVariableW(L"DUZAVIDE_ENGINE_TRANSCRIPT", transcript_path_.c_str());
  ::SetEnvironmentVariableW(L"DUZAVIDE_ENGINE_FAIL_CREATE",
                            options_.fail_view_creation ? L"1" : nullptr);

  const std::wstring folder = AppFolder();
  std::wstring command_line = L"\"" + folder + L"\\Duzavide.exe\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = error_file.Get();
  startup.hStdError = error_file.Get();
  PROCESS_INFORMATION info{};
  const BOOL started = ::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, folder.c_str(), &startup, &info);
  const DWORD error = ::GetLastError();
  ::SetEnvironmentVariableW(L"DUZAVIDE_ENGINE_SCRIPT", nullptr);
  ::SetEnvironmentVariableW(L"DUZAVIDE_ENGINE_TRANSCRIPT", nullptr);
  ::SetEnvironmentVariableW(L"DUZAVIDE_ENGINE_FAIL_CREATE", nullptr);
  if (!started) {
    ADD_FAILURE() << "CreateProcessW failed with " << error;
    return false;
  }
  ::CloseHandle(info.hThread);
  process_.Reset(info.hProcess);
  return true;
}

bool AppProcess::RaiseConsoleBreak() {
  // The system's libraries lie at the same address in every process of a boot.
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (routine == nullptr) {
    ADD_FAILURE() << "the system has no control routine to run";
    return false;
  }
  const UniqueHandle thread(::CreateRemoteThread(
      process_.Get(), nullptr, 0, routine, reinterpret_cast<void*>(CTRL_BREAK_EVENT), 0, nullptr));
  if (!thread.IsValid()) {
    ADD_FAILURE() << "CreateRemoteThread failed with " << ::GetLastError();
    return false;
  }
  ::WaitForSingleObject(thread.Get(), 10000);
  return true;
}

HWND AppProcess::WaitForWindow(std::chrono::milliseconds timeout) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        found = ::FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", L"Duzavide Connect");
        return found != nullptr;
      },
      timeout);
  return found;
}

bool AppProcess::WaitForExit(std::chrono::milliseconds timeout) {
  return ::WaitForSingleObject(process_.Get(), static_cast<DWORD>(timeout.count())) ==
         WAIT_OBJECT_0;
}

void AppProcess::Terminate() {
  ::TerminateProcess(process_.Get(), 0);
  ::WaitForSingleObject(process_.Get(), 10000);
}

DWORD AppProcess::exit_code() const {
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.Get(), &code);
  return code;
}

void AppProcess::Kill() {
  ::TerminateProcess(process_.Get(), 99);
  ::WaitForSingleObject(process_.Get(), 10000);
}

std::vector<std::string> AppProcess::Transcript() const {
  std::vector<std::string> lines;
  std::istringstream stream(ReadWholeFile(transcript_path_));
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("max-stall ", 0) == 0 || line.rfind("stall ", 0) == 0) continue;
    lines.push_back(line);
  }
  return lines;
}

std::string ReadWholeFile(const std::wstring& path) {
  // Opened with full sharing: the app may still hold the file for writing.
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  ::CloseHandle(file);
  return bytes;
}

std::string AppProcess::StandardError() const { return ReadWholeFile(stderr_path_); }

std::wstring HostLogPath() { return LogsFolder() + L"\\host.log"; }

bool HostLogHasEntry(const std::string& text) {
  const std::regex entry(R"((^|\n)\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z )" + text + "\r\n");
  return std::regex_search(ReadWholeFile(HostLogPath()), entry);
}

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return predicate();
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return true;
}

DWORD CorePidFromReplyHex(const std::string& reply_hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < reply_hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(reply_hex.substr(i, 2), nullptr, 16)));
  }
  const std::string key = "standin-core started pid ";
  const size_t at = bytes.find(key);
  if (at == std::string::npos) return 0;
  return static_cast<DWORD>(std::strtoul(bytes.c_str() + at + key.size(), nullptr, 10));
}

bool ProcessGone(DWORD pid, std::chrono::milliseconds timeout) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return true;
  const bool ended =
      ::WaitForSingleObject(process, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

}  // namespace duzavide::e2e
