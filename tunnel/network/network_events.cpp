#include "tunnel/network/network_events.h"

// clang-format off
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

namespace duzavide {
namespace {

void CALLBACK OnAddressChange(PVOID signal, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE) {
  ::SetEvent(static_cast<HANDLE>(signal));
}

void CALLBACK OnRouteChange(PVOID signal, PMIB_IPFORWARD_ROW2, MIB_NOTIFICATION_TYPE) {
  ::SetEvent(static_cast<HANDLE>(signal));
}

void CALLBACK OnInterfaceChange(PVOID signal, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) {
  ::SetEvent(static_cast<HANDLE>(signal));
}

void Cancel(HANDLE* registration) {
  if (*registration != nullptr) ::CancelMibChangeNotify2(*registration);
  *registration = nullptr;
}

}  // namespace

NetworkEvents::~NetworkEvents() { Stop(); }

void NetworkEvents::Start(HANDLE signal) {
  Stop();
  // A failed registration leaves its handle null, and that source out.
  if (::NotifyUnicastIpAddressChange(AF_INET, &OnAddressChange, signal, FALSE,
                                     &address_callback_) != NO_ERROR) {
    address_callback_ = nullptr;
  }
  if (::NotifyRouteChange2(AF_INET, &OnRouteChange, signal, FALSE, &route_callback_) != NO_ERROR) {
    route_callback_ = nullptr;
  }
  if (::NotifyIpInterfaceChange(AF_INET, &OnInterfaceChange, signal, FALSE, &interface_callback_) !=
      NO_ERROR) {
    interface_callback_ = nullptr;
  }
  socket_.Reset(::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0,
                             WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
  address_list_event_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ArmAddressList();
}

void NetworkEvents::Stop() {
  Cancel(&address_callback_);
  Cancel(&route_callback_);
  Cancel(&interface_callback_);
  // Closing the socket ends the pending request; the event goes after it.
  socket_.Reset();
  armed_ = false;
  address_list_event_.Reset();
}

bool NetworkEvents::TakeAddressListChange() {
  if (!armed_) return false;
  armed_ = false;
  DWORD bytes = 0;
  DWORD flags = 0;
  const bool changed =
      ::WSAGetOverlappedResult(socket_.Get(), &overlapped_, &bytes, FALSE, &flags) != FALSE;
  if (changed) ArmAddressList();
  return changed;
}

void NetworkEvents::ArmAddressList() {
  if (!socket_ || !address_list_event_) return;
  overlapped_ = WSAOVERLAPPED{};
  ::ResetEvent(address_list_event_.Get());
  overlapped_.hEvent = address_list_event_.Get();
  DWORD bytes = 0;
  const int result = ::WSAIoctl(socket_.Get(), SIO_ADDRESS_LIST_CHANGE, nullptr, 0, nullptr, 0,
                                &bytes, &overlapped_, nullptr);
  // Pending is the normal answer. An immediate success still signals the event;
  // an immediate failure is no change and is not armed.
  armed_ = result == 0 || ::WSAGetLastError() == WSA_IO_PENDING;
}

}  // namespace duzavide
