// The traffic figures of "getStats": the growth of the system's interface byte
// counters while the tunnel is wanted.
//
// Every operational interface counts but loopback and tunnels, whatever it
// carries, so that tunnel traffic is not counted next to the adapter that carries
// it; the core's own TUN adapter is a tunnel whatever type it reports. Counting is
// per interface: an interface that appears starts at its current value, one that
// goes away keeps what it had counted, and a counter that falls (an adapter
// reset) starts again from its new value, so the figures never go back.
#ifndef TUNNEL_TRAFFIC_COUNTERS_H_
#define TUNNEL_TRAFFIC_COUNTERS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace duzavide {

struct TrafficCounters {
  uint64_t downlink_bytes = 0;  // received direction
  uint64_t uplink_bytes = 0;    // sent direction
};

// One row of the system's interface table, as the figures need it.
struct InterfaceOctets {
  uint64_t luid = 0;
  uint32_t type = 0;  // the interface type: 24 software loopback, 131 tunnel, ...
  std::wstring alias;
  bool up = false;  // operational
  uint64_t received = 0;
  uint64_t sent = 0;
};

// Whether the figures count `row` (see the header comment).
bool CountsTowardsTraffic(const InterfaceOctets& row);

// The figures since Start, per interface. Pure; one thread at a time.
class TrafficTally {
 public:
  // Counts from `rows` on; what was counted before is forgotten.
  void Start(const std::vector<InterfaceOctets>& rows);
  // Adds each counted interface's growth since it was last seen; returns the
  // figures since Start.
  TrafficCounters Update(const std::vector<InterfaceOctets>& rows);

 private:
  struct Seen {
    uint64_t received = 0;
    uint64_t sent = 0;
  };
  std::map<uint64_t, Seen> last_;  // by LUID
  TrafficCounters total_;
};

// The system's interface table now. False when it cannot be read. Any thread.
bool ReadInterfaceOctets(std::vector<InterfaceOctets>* rows);

}  // namespace duzavide

#endif  // TUNNEL_TRAFFIC_COUNTERS_H_
