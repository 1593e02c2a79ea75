#include "tunnel/traffic_counters.h"

#include "tunnel/network/network_path.h"

namespace duzavide {
namespace {

constexpr uint32_t kSoftwareLoopback = 24;
constexpr uint32_t kTunnelType = 131;

}  // namespace

bool CountsTowardsTraffic(const InterfaceOctets& row) {
  return row.up && row.type != kSoftwareLoopback && row.type != kTunnelType &&
         !IsTunnelInterfaceAlias(row.alias);
}

void TrafficTally::Start(const std::vector<InterfaceOctets>& rows) {
  last_.clear();
  total_ = TrafficCounters();
  Update(rows);
  total_ = TrafficCounters();
}

TrafficCounters TrafficTally::Update(const std::vector<InterfaceOctets>& rows) {
  std::map<uint64_t, Seen> now;
  for (const InterfaceOctets& row : rows) {
    if (!CountsTowardsTraffic(row)) continue;
    now[row.luid] = Seen{row.received, row.sent};
    const auto before = last_.find(row.luid);
    if (before == last_.end()) continue;  // new: counted from here on
    // A counter that fell was reset: it counts again from its new value.
    if (row.received > before->second.received) {
      total_.downlink_bytes += row.received - before->second.received;
    }
    if (row.sent > before->second.sent) total_.uplink_bytes += row.sent - before->second.sent;
  }
  last_ = std::move(now);
  return total_;
}

}  // namespace duzavide
