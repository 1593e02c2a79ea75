// NetworkEvents turns the system's news about addresses, routes and interfaces
// into a signal for the tunnel controller, which then re-checks the network.
//
// Two kinds of sources, because systems differ in which ones they deliver:
// - the IP helper's change callbacks (unicast addresses, IPv4 routes,
//   interfaces), which only set `signal`, an auto-reset event the controller waits
//   on; a callback never takes a lock, so one delivered inside the registering
//   call (some systems give the initial notification there) cannot deadlock;
// - an overlapped SIO_ADDRESS_LIST_CHANGE request on a socket of its own, whose
//   event the controller waits on too. It is armed again only after a successful
//   completion: a failed completion, or one that fails at once, is no change and
//   is not repeated (the controller's periodic re-check covers that case).
//
// Controller's thread only. Windows Sockets must be started.
#ifndef TUNNEL_NETWORK_NETWORK_EVENTS_H_
#define TUNNEL_NETWORK_NETWORK_EVENTS_H_

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include "base/win_handles.h"

namespace duzavide {

class NetworkEvents {
 public:
  NetworkEvents() = default;
  ~NetworkEvents();  // Stop
  NetworkEvents(const NetworkEvents&) = delete;
  NetworkEvents& operator=(const NetworkEvents&) = delete;

  // Registers the callbacks, which set `signal` (not owned; it must outlive
  // Stop), and arms the address list request. What cannot be registered is left
  // out. Safe to repeat after Stop.
  void Start(HANDLE signal);
  // Cancels the callbacks (waiting for any in progress) and the request.
  void Stop();

  // The address list request's event, null while it is not armed.
  HANDLE address_list_event() const { return armed_ ? address_list_event_.Get() : nullptr; }
  // After address_list_event() was signalled: true when the list changed (the
  // request is then armed again), false when it failed.
  bool TakeAddressListChange();

 private:
  void ArmAddressList();

  HANDLE address_callback_ = nullptr;
  HANDLE route_callback_ = nullptr;
  HANDLE interface_callback_ = nullptr;
  UniqueSocket socket_;
  UniqueHandle address_list_event_;
  WSAOVERLAPPED overlapped_{};
  bool armed_ = false;
};

}  // namespace duzavide

#endif  // TUNNEL_NETWORK_NETWORK_EVENTS_H_
