#include "bridge/published_socket.h"

#include <windows.h>

namespace duzavide {

bool PublishedSocket::Publish(SOCKET socket) {
  SOCKET expected = INVALID_SOCKET;
  return socket_.compare_exchange_strong(expected, socket);
}

void PublishedSocket::Withdraw(SOCKET socket) {
  SOCKET expected = socket;
  socket_.compare_exchange_strong(expected, INVALID_SOCKET);
  // A ShutDown that read the value before it was withdrawn may still be using it;
  // it counted itself in before reading, so waiting for the count is enough.
  while (shutters_.load() != 0) ::SwitchToThread();
}

void PublishedSocket::ShutDown() {
  shutters_.fetch_add(1);
  SOCKET socket = socket_.load();
  if (socket != INVALID_SOCKET) {
    ::shutdown(socket, SD_BOTH);
    socket_.compare_exchange_strong(socket, INVALID_SOCKET);
  }
  shutters_.fetch_sub(1);
}

}  // namespace duzavide
