// PublishedSocket lets one thread expose the socket it is using so that another
// thread can shut it down (to wake a blocking send or receive) without ever touching
// a socket that has already been closed and whose value may have been reused.
//
// The owning thread Publish()es its socket and, before closing it, calls Withdraw(),
// which removes the socket if it is still the published one and returns only once
// no concurrent ShutDown() can still be using its value. A socket is published only
// into an empty slot, so a thread that ends late never replaces or removes the
// socket of a newer one. No lock is taken: a ShutDown() in progress is counted, and
// Withdraw() spins for the length of at most one shutdown call.
#ifndef BRIDGE_PUBLISHED_SOCKET_H_
#define BRIDGE_PUBLISHED_SOCKET_H_

#include <winsock2.h>

#include <atomic>

namespace duzavide {

class PublishedSocket {
 public:
  PublishedSocket() = default;
  PublishedSocket(const PublishedSocket&) = delete;
  PublishedSocket& operator=(const PublishedSocket&) = delete;

  // False when another socket is published; `socket` then stays unpublished.
  bool Publish(SOCKET socket);
  // After this returns the caller may close `socket`.
  void Withdraw(SOCKET socket);
  // Shuts the published socket down in both directions and unpublishes it. The
  // socket is not closed: its owner does that.
  void ShutDown();
  SOCKET Get() const { return socket_.load(); }

 private:
  std::atomic<SOCKET> socket_{INVALID_SOCKET};
  std::atomic<int> shutters_{0};
};

}  // namespace duzavide

#endif  // BRIDGE_PUBLISHED_SOCKET_H_
