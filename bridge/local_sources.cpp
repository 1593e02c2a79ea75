#include "bridge/local_sources.h"

// clang-format off
#include <winsock2.h>
#include <ws2ipdef.h>
#include <iphlpapi.h>
// clang-format on

#include <utility>

namespace duzavide {
namespace {

constexpr IPv4Range kLoopbackNet{0x7F000000u, 0xFF000000u};

}  // namespace

std::vector<IPv4Range> ReadThisMachineRanges() {
  std::vector<IPv4Range> ranges{kLoopbackNet};
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                           GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_FRIENDLY_NAME;
  // The table may grow between asking for its size and reading it.
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    ULONG size = static_cast<ULONG>(buffer.size());
    result = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    if (result == ERROR_BUFFER_OVERFLOW) buffer.resize(size);
  }
  if (result != NO_ERROR) return ranges;
  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter != nullptr; adapter = adapter->Next) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress;
         unicast != nullptr; unicast = unicast->Next) {
      const SOCKET_ADDRESS& address = unicast->Address;
      if (address.lpSockaddr == nullptr || address.lpSockaddr->sa_family != AF_INET ||
          address.iSockaddrLength < static_cast<int>(sizeof(sockaddr_in))) {
        continue;
      }
      const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address.lpSockaddr);
      ranges.push_back({ntohl(ipv4->sin_addr.s_addr), 0xFFFFFFFFu});
    }
  }
  return ranges;
}

LocalSources::LocalSources(in_addr bound_address, IPv4RangeReader reader,
                           Clock::duration refresh_interval)
    : bound_address_(ntohl(bound_address.s_addr)),
      reader_(std::move(reader)),
      refresh_interval_(refresh_interval),
      ranges_(reader_ ? reader_() : std::vector<IPv4Range>()),
      last_read_(Clock::now()) {}

bool LocalSources::Contains(in_addr source, Clock::time_point now) {
  const uint32_t address = ntohl(source.s_addr);
  if (Known(address)) return true;
  if (now - last_read_ < refresh_interval_) return false;
  if (reader_) ranges_ = reader_();
  last_read_ = now;
  return Known(address);
}

bool LocalSources::Known(uint32_t source) const {
  if (source == bound_address_) return true;
  for (const IPv4Range& range : ranges_) {
    if ((source & range.mask) == (range.network & range.mask)) return true;
  }
  return false;
}

}  // namespace duzavide
