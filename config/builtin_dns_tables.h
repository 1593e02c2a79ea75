#ifndef CONFIG_BUILTIN_DNS_TABLES_H_
#define CONFIG_BUILTIN_DNS_TABLES_H_

#include <map>
#include <string>
#include <vector>

namespace duzavide {

// Tables used when a connect request brings no DNS servers or no DNS hosts.
// Each is created on first use (thread-safe one-time initialisation), is never
// modified afterwards and lives until the process ends; the references stay
// valid for the whole process and may be read from any thread.

// The three private resolvers, in their fixed (unsorted) order.
const std::vector<std::string>& BuiltinDnsServers();

// Fixed answers for the hosts of one AI chat service: five host patterns, each
// mapped to the same three IPv4 addresses.
const std::map<std::string, std::vector<std::string>>& BuiltinDnsHosts();

}  // namespace duzavide

#endif  // CONFIG_BUILTIN_DNS_TABLES_H_
