// A host that is killed takes its core along: the test runs this executable again
// as a helper that connects and then waits, kills it, and watches its core.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/tunnel/tunnel_test_support.h"
#include "tunnel/tunnel_session.h"

namespace duzavide::tunnel_test {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kPidFileVariable[] = L"DUZAVIDE_TUNNEL_JOB_HELPER_PID_FILE";

std::wstring PidFileFromEnvironment() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = ::GetEnvironmentVariableW(kPidFileVariable, buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// Runs only inside the helper process started below.
TEST(CoreJobHelper, ConnectAndHold) {
  std::wstring pid_file = PidFileFromEnvironment();
  if (pid_file.empty()) GTEST_SKIP() << "runs only as the helper of CoreJobTest";
  TunnelSession session;
  ASSERT_TRUE(session.Connect(LoopbackRequest()));
  std::string log;
  for (int i = 0; i < 100 && CorePidFromLog(log) == 0; ++i) {
    log += session.TakeLog();
    ::Sleep(50);
  }
  std::wstring partial = pid_file + L".partial";
  FILE* file = _wfopen(partial.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  fprintf(file, "%lu", static_cast<unsigned long>(CorePidFromLog(log)));
  fclose(file);
  fs::rename(partial, pid_file);
  ::Sleep(60000);
}

TEST(CoreJobTest, KilledHostTakesItsCoreAlong) {
  StandinCore core;
  std::wstring pid_file = TestExeDirectory() + L"\\job-helper-core.pid";
  std::error_code error;
  fs::remove(pid_file, error);

  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=CoreJobHelper.*";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION helper{};
  ::SetEnvironmentVariableW(kPidFileVariable, pid_file.c_str());
  BOOL created = ::CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &helper);
  ::SetEnvironmentVariableW(kPidFileVariable, nullptr);
  ASSERT_TRUE(created);

  DWORD core_pid = 0;
  for (int i = 0; i < 300 && core_pid == 0; ++i) {
    ::Sleep(50);
    core_pid = NumberAfter(" " + ReadFileBytes(pid_file), " ");
  }
  fs::remove(pid_file, error);
  ASSERT_NE(core_pid, 0u) << "the helper did not connect";
  HANDLE core_process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, core_pid);
  ASSERT_NE(core_process, nullptr);
  EXPECT_EQ(::WaitForSingleObject(core_process, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  ::TerminateProcess(helper.hProcess, 1);
  EXPECT_EQ(::WaitForSingleObject(helper.hProcess, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(core_process, 2000), WAIT_OBJECT_0)
      << "the core outlived its killed host";

  ::TerminateProcess(core_process, 0);  // leave nothing behind either way
  ::WaitForSingleObject(core_process, 5000);
  ::CloseHandle(core_process);
  ::CloseHandle(helper.hThread);
  ::CloseHandle(helper.hProcess);
}

}  // namespace
}  // namespace duzavide::tunnel_test
