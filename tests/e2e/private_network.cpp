#include "tests/e2e/private_network.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <cstdio>
#include <sstream>

#include "tests/e2e/app_process.h"

namespace duzavide::e2e {
namespace {

using std::chrono::seconds;

std::vector<std::string> LocalAddresses() {
  std::vector<std::string> addresses;
  MIB_UNICASTIPADDRESS_TABLE* table = nullptr;
  if (::GetUnicastIpAddressTable(AF_INET, &table) != NO_ERROR) return addresses;
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &table->Table[i].Address.Ipv4.sin_addr, text, sizeof(text));
    addresses.push_back(text);
  }
  ::FreeMibTable(table);
  return addresses;
}

long long FileTimeMilliseconds(const FILETIME& time) {
  ULARGE_INTEGER value{};
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<long long>(value.QuadPart / 10000);
}

}  // namespace

WinsockUser::WinsockUser() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
}

WinsockUser::~WinsockUser() { ::WSACleanup(); }

bool InPrivateNetwork() {
  for (const std::string& address : LocalAddresses()) {
    if (address.rfind("10.77.0.", 0) == 0) return true;
  }
  return false;
}

bool HasAddress(const std::string& dotted) {
  for (const std::string& address : LocalAddresses()) {
    if (address == dotted) return true;
  }
  return false;
}

bool HasDefaultRoute() {
  MIB_IPFORWARD_TABLE2* table = nullptr;
  if (::GetIpForwardTable2(AF_INET, &table) != NO_ERROR) return false;
  bool found = false;
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    found = found || table->Table[i].DestinationPrefix.PrefixLength == 0;
  }
  ::FreeMibTable(table);
  return found;
}

bool ChangeNetwork(const std::string& command, bool (*settled)()) {
  // Wine starts a program of the system itself when asked for one by its path.
  std::wstring line = L"Z:\\bin\\sh -c \"" + std::wstring(command.begin(), command.end()) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return false;
  }
  // A program of the system comes back without a process handle, and its thread
  // "handle" is whatever was left there: closing it would close one of ours
  // (standard output, once).
  if (info.hProcess != nullptr) {
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
  }
  // The system's process cannot be waited for from here: its effect is.
  return WaitFor(settled, seconds(10));
}

bool ResetPrivateNetwork() {
  return ChangeNetwork(
      "ip addr flush dev tap0; ip addr add 10.77.0.2/24 dev tap0; "
      "ip route replace default via 10.77.0.1 dev tap0",
      [] { return HasAddress("10.77.0.2") && !HasAddress("10.77.0.3") && HasDefaultRoute(); });
}

std::vector<std::string> HostLogLines() {
  std::vector<std::string> lines;
  std::istringstream stream(ReadWholeFile(HostLogPath()));
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

long long UtcMilliseconds() {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  return FileTimeMilliseconds(now);
}

long long StampOf(const std::string& line) {
  SYSTEMTIME time{};
  unsigned year, month, day, hour, minute, second, millisecond;
  if (std::sscanf(line.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%3uZ", &year, &month, &day, &hour, &minute,
                  &second, &millisecond) != 7) {
    return -1;
  }
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  time.wMilliseconds = static_cast<WORD>(millisecond);
  FILETIME file_time{};
  if (!::SystemTimeToFileTime(&time, &file_time)) return -1;
  return FileTimeMilliseconds(file_time);
}

}  // namespace duzavide::e2e
