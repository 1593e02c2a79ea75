#include "tests/tunnel/tunnel_test_support.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>

#include "channel/encodable_value.h"
#include "tunnel/data_folder/data_folder.h"

namespace duzavide::tunnel_test {
namespace fs = std::filesystem;

MethodCall ConnectCall() { return ConnectCall(9); }

MethodCall ConnectCall(uint16_t relay_port) {
  return ConnectCall(
      "vless://0a1b2c3d-0000-4000-8000-000000000001@127.0.0.1:8443?security=reality&sni=a.test",
      relay_port);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::Sleep(20);
  }
  return true;
}

MethodCall ConnectCall(const std::string& vless_url, uint16_t relay_port) {
  EncodableMap wireguard{
      {EncodableValue("private_key"), EncodableValue("cHJpdmF0ZS1rZXktZm9yLXRlc3Rz")},
      {EncodableValue("address"), EncodableValue("10.66.0.2/32")},
      {EncodableValue("server_public_key"), EncodableValue("c2VydmVyLXB1YmxpYy1rZXk=")},
      {EncodableValue("relay_address"), EncodableValue("127.0.0.1")},
      {EncodableValue("relay_port"), EncodableValue(int32_t{relay_port})},
  };
  EncodableMap arguments{
      {EncodableValue("vlessUrl"), EncodableValue(vless_url)},
      {EncodableValue("wireguard"), EncodableValue(wireguard)},
  };
  return MethodCall("connect", std::make_unique<EncodableValue>(arguments));
}

std::wstring TestExeDirectory() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path().wstring();
}

std::wstring StandinCore::DataFolderCopy() { return DataFolder() + L"\\xray.exe"; }

StandinCore::StandinCore() : directives_path_(TestExeDirectory() + L"\\standin-core.txt") {
  ClearDirectives();
}

StandinCore::~StandinCore() { ClearDirectives(); }

void StandinCore::SetDirectives(const std::string& text) {
  FILE* file = _wfopen(directives_path_.c_str(), L"wb");
  if (file == nullptr) return;
  fwrite(text.data(), 1, text.size(), file);
  fclose(file);
}

void StandinCore::ClearDirectives() {
  std::error_code error;
  fs::remove(directives_path_, error);
}

HiddenCore::HiddenCore() {
  const std::wstring path = TestExeDirectory() + L"\\xray.exe";
  std::error_code error;
  fs::rename(path, path + L".hidden", error);
  if (!error) moved_.push_back(path);
}

HiddenCore::~HiddenCore() {
  for (const std::wstring& path : moved_) {
    std::error_code error;
    fs::rename(path + L".hidden", path, error);
  }
}

void LineRecorder::Add(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(line);
  changed_.notify_all();
}

void LineRecorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::vector<std::string> LineRecorder::Lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

size_t LineRecorder::Count(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t count = 0;
  for (const std::string& recorded : lines_) count += recorded == line ? 1 : 0;
  return count;
}

bool LineRecorder::WaitFor(const std::string& line, std::chrono::milliseconds timeout,
                           size_t times) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    size_t count = 0;
    for (const std::string& recorded : lines_) count += recorded == line ? 1 : 0;
    return count >= times;
  });
}

EchoRelay::EchoRelay(bool echo) : echo_(echo) {
  listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::listen(listener_, 4);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&EchoRelay::Serve, this);
}

EchoRelay::~EchoRelay() {
  stopping_ = true;
  ::closesocket(listener_);
  // Whoever takes the connection from client_ closes it: here, once the server
  // has seen it end, or the server itself.
  SOCKET client = client_.exchange(INVALID_SOCKET);
  if (client != INVALID_SOCKET) ::shutdown(client, SD_BOTH);
  thread_.join();
  if (client != INVALID_SOCKET) ::closesocket(client);
}

void EchoRelay::Serve() {
  while (!stopping_) {
    SOCKET client = ::accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    client_ = client;
    std::string pending;
    char buffer[65536];
    for (;;) {
      int got = ::recv(client, buffer, sizeof(buffer), 0);
      if (got <= 0) break;
      pending.append(buffer, static_cast<size_t>(got));
      while (pending.size() >= 2) {
        size_t length =
            (static_cast<unsigned char>(pending[0]) << 8) | static_cast<unsigned char>(pending[1]);
        if (pending.size() < length + 2) break;
        if (echo_.load()) ::send(client, pending.data(), static_cast<int>(length + 2), 0);
        ++frames_;
        pending.erase(0, length + 2);
      }
    }
    if (client_.exchange(INVALID_SOCKET) != INVALID_SOCKET) ::closesocket(client);
  }
}

ConnectRequest LoopbackRequest(uint16_t relay_port) {
  ConnectRequest request;
  request.vlessUrl =
      "vless://0a1b2c3d-0000-4000-8000-000000000001@127.0.0.1:8443?security=reality&sni=a.test";
  request.private_key = "cHJpdmF0ZS1rZXktZm9yLXRlc3Rz";
  request.address = "10.66.0.2/32";
  request.server_public_key = "c2VydmVyLXB1YmxpYy1rZXk=";
  request.relay_address = "127.0.0.1";
  request.relay_port = relay_port;
  return request;
}

namespace {

// The documented layout of the system handle table (information class 16).
struct HandleEntry {
  USHORT owner_pid;
  USHORT creator_back_trace_index;
  UCHAR object_type_index;
  UCHAR attributes;
  USHORT handle_value;
  PVOID object;
  ULONG granted_access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

DWORD OwnHandleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) return count;
  auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<char> buffer(1 << 20);
  for (int attempt = 0; attempt < 6; ++attempt) {
    ULONG needed = 0;
    LONG status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) break;
    buffer.assign(std::max<size_t>(buffer.size() * 2, needed + 4096), 0);
    if (attempt == 5) return 0;
  }
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  USHORT self = static_cast<USHORT>(::GetCurrentProcessId());
  count = 0;
  for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].owner_pid == self ? 1 : 0;
  return count;
}

DWORD ProxyFlags() {
  INTERNET_PER_CONN_OPTIONW option{};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = 1;
  list.pOptions = &option;
  DWORD size = sizeof(list);
  if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
    return 0;
  }
  return option.Value.dwValue;
}

bool SetProxyFlags(DWORD flags) {
  INTERNET_PER_CONN_OPTIONW option{};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  option.Value.dwValue = flags;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = 1;
  list.pOptions = &option;
  return ::InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                              sizeof(list)) != FALSE;
}

bool ManualProxyOn() { return (ProxyFlags() & PROXY_TYPE_PROXY) != 0; }

namespace {

constexpr wchar_t kJournalKey[] = L"Software\\Duzavide\\Connect";
constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::optional<std::wstring> TakeText(wchar_t* text) {
  if (text == nullptr) return std::nullopt;
  std::wstring copy(text);
  ::GlobalFree(text);
  return copy;
}

void FillOptions(INTERNET_PER_CONN_OPTIONW (&options)[5]) {
  const DWORD ids[] = {INTERNET_PER_CONN_FLAGS, INTERNET_PER_CONN_PROXY_SERVER,
                       INTERNET_PER_CONN_PROXY_BYPASS, INTERNET_PER_CONN_AUTOCONFIG_URL,
                       INTERNET_PER_CONN_AUTODISCOVERY_FLAGS};
  for (int i = 0; i < 5; ++i) options[i].dwOption = ids[i];
}

}  // namespace

ProxyOptions ReadProxySetting() {
  INTERNET_PER_CONN_OPTIONW options[5] = {};
  FillOptions(options);
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = 5;
  list.pOptions = options;
  DWORD size = sizeof(list);
  ProxyOptions read;
  read.flags = 0;  // never read back as such
  if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
    ADD_FAILURE() << "the proxy options could not be read";
    return read;
  }
  read.flags = options[0].Value.dwValue;
  read.server = TakeText(options[1].Value.pszValue);
  read.bypass = TakeText(options[2].Value.pszValue);
  read.autoconfig_url = TakeText(options[3].Value.pszValue);
  read.autodiscovery_flags = options[4].Value.dwValue;
  return read;
}

bool WriteProxySetting(const ProxyOptions& setting) {
  INTERNET_PER_CONN_OPTIONW options[5] = {};
  FillOptions(options);
  auto text = [](const std::optional<std::wstring>& value) {
    return value ? const_cast<wchar_t*>(value->c_str()) : nullptr;
  };
  options[0].Value.dwValue = setting.flags;
  options[1].Value.pszValue = text(setting.server);
  options[2].Value.pszValue = text(setting.bypass);
  options[3].Value.pszValue = text(setting.autoconfig_url);
  options[4].Value.dwValue = setting.autodiscovery_flags.value_or(0);
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.dwOptionCount = setting.autodiscovery_flags ? 5 : 4;
  list.pOptions = options;
  return ::InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                              sizeof(list)) != FALSE;
}

ProxyOptions ManualProxy(const std::wstring& server) {
  ProxyOptions options;
  options.flags = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
  options.server = server;
  options.bypass = L"*.corp.test;<local>";
  return options;
}

bool SavedProxySettingExists() {
  return ::RegGetValueW(HKEY_CURRENT_USER, kJournalKey, L"ProxyRestore", RRF_RT_ANY, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring ProxyRestoreRunOnceCommand() {
  wchar_t command[2048] = {};
  DWORD bytes = sizeof(command);
  if (::RegGetValueW(HKEY_CURRENT_USER, kRunOnceKey, L"DuzavideProxyRestore", RRF_RT_REG_SZ,
                     nullptr, command, &bytes) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return command;
}

void ForgetSavedProxySetting() {
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kJournalKey, L"ProxyRestore");
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunOnceKey, L"DuzavideProxyRestore");
}

uint16_t FreeLoopbackPort() {
  SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::closesocket(probe);
  return ntohs(address.sin_port);
}

size_t OwnPrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters)) &&
      counters.PrivateUsage > 0) {
    return counters.PrivateUsage;
  }
  // Wine reports no private usage: add up the committed private regions instead.
  size_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
  }
  return total;
}

uint32_t NumberAfter(const std::string& log, const std::string& key) {
  size_t at = log.find(key);
  if (at == std::string::npos) return 0;
  return static_cast<uint32_t>(std::strtoul(log.c_str() + at + key.size(), nullptr, 10));
}

DWORD CorePidFromLog(const std::string& log) {
  return NumberAfter(log, "standin-core started pid ");
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
  fclose(file);
  return bytes;
}

}  // namespace duzavide::tunnel_test
