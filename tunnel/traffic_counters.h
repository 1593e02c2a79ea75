// System-wide interface byte counters, used for the "getStats" figures.
#ifndef TUNNEL_TRAFFIC_COUNTERS_H_
#define TUNNEL_TRAFFIC_COUNTERS_H_

#include <cstdint>

namespace duzavide {

struct TrafficCounters {
  uint64_t downlink_bytes = 0;  // received direction
  uint64_t uplink_bytes = 0;    // sent direction
};

// Interface octet sums as taken at a core's launch: what the figures count from.
struct OctetBaselines {
  uint64_t received = 0;
  uint64_t sent = 0;
};

// Sums the 64-bit octet counters of every operational interface that is neither
// the software loopback nor a tunnel-type interface. On any failure of the system
// table both sums are 0 and the result is false. Any thread.
bool SumInterfaceOctets(uint64_t* received, uint64_t* sent);

// Growth of the sums over their baselines, per direction; a sum that is not above
// its baseline (an interface went away or was reset) reads 0.
TrafficCounters TrafficSinceBaseline(uint64_t received, uint64_t sent, uint64_t baseline_received,
                                     uint64_t baseline_sent);

}  // namespace duzavide

#endif  // TUNNEL_TRAFFIC_COUNTERS_H_
