// The stand-in's "wg-tcp-in" inbound: listens on 127.0.0.1 and, for every accepted
// connection, connects to the relay and copies bytes both ways until either side
// closes. Threads are detached; the process ends by termination.
#ifndef STANDINS_CORE_RELAY_FORWARDER_H_
#define STANDINS_CORE_RELAY_FORWARDER_H_

#include <cstdint>
#include <string>

namespace duzavide::standin {

// Binds and listens; false (with a one-line reason) when the port cannot be taken.
// On success an accept thread runs for the rest of the process.
bool StartRelayForwarder(uint16_t listen_port, const std::string& relay_address,
                         uint16_t relay_port, std::string* error);

}  // namespace duzavide::standin

#endif  // STANDINS_CORE_RELAY_FORWARDER_H_
