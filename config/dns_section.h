#ifndef CONFIG_DNS_SECTION_H_
#define CONFIG_DNS_SECTION_H_

#include <map>
#include <string>
#include <vector>

namespace duzavide {

// Pieces of the "dns" section of the core configuration. Pure functions apart
// from the one-time creation of the built-in tables; safe from any thread.

// Returns `dns_servers` when it has at least one element (whatever its content),
// otherwise the built-in server list. The result refers to one of the two.
const std::vector<std::string>& SelectDnsServers(const std::vector<std::string>& dns_servers);

// Returns the value text of the "hosts" member: "{", one line per entry (six
// spaces, quoted key, ": ", address list) in ascending byte-wise key order,
// then a line feed and "    }". A non-empty `dns_hosts` replaces the built-in
// table entirely; entries with an empty key or empty list are skipped.
std::string RenderDnsHosts(const std::map<std::string, std::vector<std::string>>& dns_hosts);

}  // namespace duzavide

#endif  // CONFIG_DNS_SECTION_H_
