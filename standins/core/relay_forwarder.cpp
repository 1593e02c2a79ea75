#include "standins/core/relay_forwarder.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <thread>
#include <vector>

#include "standins/core/core_output.h"
#include "standins/core/core_settings.h"

namespace duzavide::standin {
namespace {

sockaddr_in LoopbackAddress(const std::string& address, uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &result.sin_addr);
  return result;
}

bool SendAll(SOCKET socket, const char* data, int size) {
  while (size > 0) {
    int sent = ::send(socket, data, size, 0);
    if (sent <= 0) return false;
    data += sent;
    size -= sent;
  }
  return true;
}

void Pump(SOCKET inbound, std::string relay_address, uint16_t relay_port) {
  // An empty relay address means the loopback relay of a test; anything off the
  // loopback network is refused, the stand-in never leaves this machine.
  if (relay_address.empty()) relay_address = "127.0.0.1";
  if (!IsLoopbackAddress(relay_address)) {
    WriteStdout("standin-core: relay " + relay_address + " is not a loopback address\n");
    ::closesocket(inbound);
    return;
  }
  SOCKET outbound = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in target = LoopbackAddress(relay_address, relay_port);
  if (outbound == INVALID_SOCKET ||
      ::connect(outbound, reinterpret_cast<sockaddr*>(&target), sizeof(target)) != 0) {
    WriteStdout("standin-core: relay " + relay_address + ":" + std::to_string(relay_port) +
                " refused the connection\n");
    if (outbound != INVALID_SOCKET) ::closesocket(outbound);
    ::closesocket(inbound);
    return;
  }
  std::vector<char> buffer(65536);
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(inbound, &readable);
    FD_SET(outbound, &readable);
    if (::select(0, &readable, nullptr, nullptr, nullptr) <= 0) break;
    SOCKET from = FD_ISSET(inbound, &readable) ? inbound : outbound;
    SOCKET to = from == inbound ? outbound : inbound;
    int got = ::recv(from, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (got <= 0 || !SendAll(to, buffer.data(), got)) break;
  }
  ::shutdown(inbound, SD_BOTH);
  ::shutdown(outbound, SD_BOTH);
  ::closesocket(inbound);
  ::closesocket(outbound);
}

}  // namespace

bool StartRelayForwarder(uint16_t listen_port, const std::string& relay_address,
                         uint16_t relay_port, std::string* error) {
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in local = LoopbackAddress("127.0.0.1", listen_port);
  if (listener == INVALID_SOCKET ||
      ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
      ::listen(listener, SOMAXCONN) != 0) {
    *error = "cannot listen on 127.0.0.1:" + std::to_string(listen_port);
    if (listener != INVALID_SOCKET) ::closesocket(listener);
    return false;
  }
  std::thread([listener, relay_address, relay_port] {
    for (;;) {
      SOCKET inbound = ::accept(listener, nullptr, nullptr);
      if (inbound == INVALID_SOCKET) return;
      std::thread(Pump, inbound, relay_address, relay_port).detach();
    }
  }).detach();
  return true;
}

}  // namespace duzavide::standin
