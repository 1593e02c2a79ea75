// The private test network that tests/e2e/private_network.sh makes: loopback and
// a tap device without carrier, 10.77.0.2/24 with a default route via 10.77.0.1.
// Tests change it with the system's own `ip` command, run from under Wine.
#ifndef TESTS_E2E_PRIVATE_NETWORK_H_
#define TESTS_E2E_PRIVATE_NETWORK_H_

#include <chrono>
#include <string>
#include <vector>

namespace duzavide::e2e {

// A share link whose host is only looked up as a route in the private network:
// nothing is ever sent to it.
inline constexpr char kPrivateNetworkLink[] =
    "vless://0a1b2c3d-0000-4000-8000-000000000001@10.77.0.99:8443?security=reality&sni=a.test";
// A server that no route on the link reaches: only default routes lead to it.
inline constexpr char kServerBehindDefaultRoutesLink[] =
    "vless://0a1b2c3d-0000-4000-8000-000000000001@10.79.0.99:8443?security=reality&sni=a.test";

// Windows Sockets, started for the object's life (the relay echo needs them).
class WinsockUser {
 public:
  WinsockUser();
  ~WinsockUser();
  WinsockUser(const WinsockUser&) = delete;
  WinsockUser& operator=(const WinsockUser&) = delete;
};

// True inside the private network (an address of 10.77.0.0/24 is this machine's).
bool InPrivateNetwork();

// Runs `command` with the system shell and waits (bounded) until `settled` holds.
// False when the command cannot be started or the network does not settle.
bool ChangeNetwork(const std::string& command, bool (*settled)());

// The network's first state: 10.77.0.2 on the tap, and its default route.
bool ResetPrivateNetwork();
bool HasAddress(const std::string& dotted);
bool HasDefaultRoute();

// The host log's lines, and the index of the first line at or after `from` that
// contains `text` (-1 when none).
std::vector<std::string> HostLogLines();
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

// Milliseconds of UTC today's clock, as the host log's stamps count them, and
// the stamp of a host log line in the same units (-1 for a line without one).
long long UtcMilliseconds();
long long StampOf(const std::string& line);

}  // namespace duzavide::e2e

#endif  // TESTS_E2E_PRIVATE_NETWORK_H_
