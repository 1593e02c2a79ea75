// Stand-in for the proxy core: accepts exactly "run -c <path>", checks the
// configuration the host wrote, then plays the two local endpoints the host relies
// on ("wg-tcp-in" and "wg-out") until it is terminated. See README.md.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

#include "standins/core/core_demands.h"
#include "standins/core/core_output.h"
#include "standins/core/core_settings.h"
#include "standins/core/directives.h"
#include "standins/core/relay_forwarder.h"
#include "standins/core/wireguard_pinger.h"

namespace duzavide::standin {
namespace {

constexpr int kUsageExitCode = 2;
constexpr int kBadConfigExitCode = 23;
constexpr int kSetupExitCode = 24;
constexpr unsigned long kChildLifetimeMs = 6000;

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes->append(buffer, got);
  fclose(file);
  return true;
}

std::wstring SelfPath() {
  std::vector<wchar_t> buffer(32768);
  DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length);
}

int Fail(int code, const std::string& reason) {
  WriteStderr("standin-core: " + reason + "\n");
  return code;
}

int Run(const std::vector<std::wstring>& args) {
  if (args.size() == 3 && args[1] == L"standin-child") {
    // Child mode of the spawn-child directive: hold the inherited output handles
    // for a while after the parent has gone.
    ::Sleep(static_cast<DWORD>(std::wcstoul(args[2].c_str(), nullptr, 10)));
    return 0;
  }
  if (args.size() != 4 || args[1] != L"run" || args[2] != L"-c") {
    return Fail(kUsageExitCode, "usage: xray.exe run -c <config.json>");
  }
  // Directives first, so that exit-at-start ends the process before it does
  // anything else: the quickest exit a core can make.
  std::vector<Directive> directives;
  std::string directive_text;
  std::string error;
  if (ReadWholeFile(L"standin-core.txt", &directive_text) &&
      !ParseDirectives(directive_text, &directives, &error)) {
    return Fail(kBadConfigExitCode, error);
  }
  int exit_code = 0;
  if (FindExitAtStart(directives, &exit_code)) return exit_code;

  std::string document;
  if (!ReadWholeFile(args[3], &document)) {
    return Fail(kBadConfigExitCode, "cannot read the configuration file");
  }
  CoreSettings settings;
  if (!ParseCoreSettings(document, &settings, &error)) return Fail(kBadConfigExitCode, error);
  const std::wstring self = SelfPath();
  if (!MeetCoreDemands(document, self.substr(0, self.find_last_of(L"\\/")), &error)) {
    return Fail(kBadConfigExitCode, error);
  }

  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  if (!StartRelayForwarder(settings.listen_port, settings.relay_address, settings.relay_port,
                           &error) ||
      !StartWireGuardPinger(settings.peer_host, settings.peer_port, &error)) {
    return Fail(kSetupExitCode, error);
  }
  WriteStdout("standin-core started pid " + std::to_string(::GetCurrentProcessId()) +
              " listen 127.0.0.1:" + std::to_string(settings.listen_port) + " relay " +
              settings.relay_address + ":" + std::to_string(settings.relay_port) + " peer " +
              settings.peer_host + ":" + std::to_string(settings.peer_port) + "\n");
  RunDirectives(directives, self, kChildLifetimeMs);
  for (;;) ::Sleep(INFINITE);
}

}  // namespace
}  // namespace duzavide::standin

int main() {
  int count = 0;
  wchar_t** raw = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::wstring> args;
  for (int i = 0; raw != nullptr && i < count; ++i) args.emplace_back(raw[i]);
  if (raw != nullptr) ::LocalFree(raw);
  return duzavide::standin::Run(args);
}
