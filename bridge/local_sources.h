// LocalSources decides which datagram sources count as this machine.
//
// The proxy core runs on this machine, but it may send from any of its addresses:
// a loopback address, or the address of another adapter than the one the bridge is
// bound to. A source is local when it is the bridge's own address or lies in one of
// the ranges its reader gives: normally 127.0.0.0/8 and every IPv4 unicast address
// of this machine's adapters. Datagrams from anywhere else could redirect the
// tunnel's returning traffic or inject frames, so the bridge drops them.
//
// The ranges are read at construction, and read again when a source is not in them,
// but at most once per refresh interval: a flood from strangers costs at most one
// reading a second, and an address that appears later (a new adapter) is learnt.
//
// Threads: not thread-safe; one relay thread owns each instance.
#ifndef BRIDGE_LOCAL_SOURCES_H_
#define BRIDGE_LOCAL_SOURCES_H_

#include <winsock2.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace duzavide {

// An IPv4 address range, both values in host byte order.
struct IPv4Range {
  uint32_t network = 0;
  uint32_t mask = 0;
};
using IPv4RangeReader = std::function<std::vector<IPv4Range>()>;

// 127.0.0.0/8 plus each IPv4 unicast address of this machine's adapters (as a
// single-address range). Only the loopback range when the adapters cannot be read.
std::vector<IPv4Range> ReadThisMachineRanges();

class LocalSources {
 public:
  using Clock = std::chrono::steady_clock;

  // An empty `reader` leaves `bound_address` as the only local source.
  LocalSources(in_addr bound_address, IPv4RangeReader reader,
               Clock::duration refresh_interval = std::chrono::seconds(1));

  // Whether `source` is this machine, reading the ranges again first when it is not
  // in them and the last reading is at least the refresh interval before `now`.
  bool Contains(in_addr source, Clock::time_point now);

 private:
  bool Known(uint32_t source) const;

  const uint32_t bound_address_;  // host byte order
  const IPv4RangeReader reader_;
  const Clock::duration refresh_interval_;
  std::vector<IPv4Range> ranges_;
  Clock::time_point last_read_;
};

}  // namespace duzavide

#endif  // BRIDGE_LOCAL_SOURCES_H_
