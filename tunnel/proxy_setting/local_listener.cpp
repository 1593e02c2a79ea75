#include "tunnel/proxy_setting/local_listener.h"

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <cctype>
#include <cstring>
#include <optional>
#include <string>

#include "base/ipv4_text.h"

namespace duzavide {
namespace {

// The listeners of one address family, or nothing when the table cannot be read.
std::optional<std::string> ListenerTable(ULONG family) {
  std::string table(16 * 1024, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(table.size());
    const DWORD status =
        ::GetExtendedTcpTable(&table[0], &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (status == NO_ERROR) return table;
    if (status != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    table.resize(size + 4096);  // listeners may be added meanwhile
  }
  return std::nullopt;
}

// IPv4 literal in network byte order.
std::optional<uint32_t> Ipv4Address(const std::string& host) {
  const std::optional<uint32_t> address = ParseDottedIPv4(host);
  if (!address) return std::nullopt;
  return htonl(*address);
}

// 0 = no listener, 1 = listener, -1 = the table could not be read.
int Ipv4Listens(uint32_t address, uint16_t port) {
  const std::optional<std::string> table = ListenerTable(AF_INET);
  if (!table) return -1;
  const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table->data());
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = rows->table[i];
    if (row.dwState == MIB_TCP_STATE_LISTEN &&
        ntohs(static_cast<u_short>(row.dwLocalPort)) == port &&
        (row.dwLocalAddr == address || row.dwLocalAddr == htonl(INADDR_ANY))) {
      return 1;
    }
  }
  return 0;
}

// On every IPv6 address, or when `loopback_counts`, on the IPv6 loopback.
int Ipv6Listens(bool loopback_counts, uint16_t port) {
  const std::optional<std::string> table = ListenerTable(AF_INET6);
  if (!table) return -1;
  static const unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  static const unsigned char kAny[16] = {};
  const auto* rows = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(table->data());
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    const MIB_TCP6ROW_OWNER_PID& row = rows->table[i];
    if (row.dwState != MIB_TCP_STATE_LISTEN ||
        ntohs(static_cast<u_short>(row.dwLocalPort)) != port) {
      continue;
    }
    if (std::memcmp(row.ucLocalAddr, kAny, 16) == 0 ||
        (loopback_counts && std::memcmp(row.ucLocalAddr, kLoopback, 16) == 0)) {
      return 1;
    }
  }
  return 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool HasLocalTcpListener(const ProxyEndpoint& endpoint) {
  const std::string host = Lower(endpoint.host);
  std::optional<uint32_t> ipv4 = Ipv4Address(host == "localhost" ? "127.0.0.1" : host);
  const bool ipv6_loopback = host == "localhost" || host == "::1";
  int found = 0;
  // A listener on every IPv6 address may take IPv4 connections too: counted, since
  // a proxy is called dead only when that is certain.
  if (ipv4) found = Ipv4Listens(*ipv4, endpoint.port);
  if (found == 0) found = Ipv6Listens(ipv6_loopback, endpoint.port);
  return found != 0;
}

}  // namespace duzavide
