#include "bridge/interface_detection.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "base/ipv4_text.h"
#include "base/system_error_text.h"
#include "base/win_handles.h"
#include "bridge/private_socket.h"

namespace duzavide {
namespace {

std::string SocketError() {
  return SystemErrorText(static_cast<unsigned long>(::WSAGetLastError()));
}

// Asks the system which local address it would send from to `target`. A datagram
// socket's connect sends nothing; it only picks the route and the source address.
// "" with `failure` set when it cannot tell.
std::string SourceAddressFor(const addrinfo& target, std::string* failure) {
  UniqueSocket probe = OpenPrivateSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (!probe) {
    *failure = "no socket for the route lookup: " + SocketError();
    return std::string();
  }
  if (::connect(probe.Get(), target.ai_addr, static_cast<int>(target.ai_addrlen)) != 0) {
    *failure = "no route: " + SocketError();
    return std::string();
  }
  sockaddr_in local{};
  int local_size = sizeof(local);
  if (::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&local), &local_size) != 0 ||
      local.sin_family != AF_INET) {
    *failure = "the route has no IPv4 source address";
    return std::string();
  }
  return DottedIPv4(ntohl(local.sin_addr.s_addr));
}

// One name lookup and its answer. Shared by the caller and the thread that runs
// it, so that a caller that stops waiting leaves the thread its own copy; the
// last one to let go frees the answer.
struct NameLookup {
  std::string host;
  UniqueHandle done;  // set when the answer is in
  int status = WSAHOST_NOT_FOUND;
  addrinfo* results = nullptr;

  ~NameLookup() {
    if (results != nullptr) ::freeaddrinfo(results);
  }
  void Run() {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    status = ::getaddrinfo(host.c_str(), "443", &hints, &results);
    if (done) ::SetEvent(done.Get());
  }
};

DWORD WINAPI RunNameLookup(void* parameter) {
  const std::unique_ptr<std::shared_ptr<NameLookup>> lookup(
      static_cast<std::shared_ptr<NameLookup>*>(parameter));
  (*lookup)->Run();
  return 0;
}

// Looks `host` up; with `cancel`, on a thread of its own, waiting until the answer
// is in or `cancel` is set (then nullptr: a resolver that hangs holds only that
// thread, which ends when the resolver gives up).
std::shared_ptr<NameLookup> LookUp(const std::string& host, HANDLE cancel) {
  if (cancel != nullptr && ::WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) return nullptr;
  auto lookup = std::make_shared<NameLookup>();
  lookup->host = host;
  if (cancel != nullptr) lookup->done.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!lookup->done) {
    lookup->Run();
    return lookup;
  }
  auto* handed = new std::shared_ptr<NameLookup>(lookup);
  const UniqueHandle thread(::CreateThread(nullptr, 0, &RunNameLookup, handed, 0, nullptr));
  if (!thread) {
    delete handed;
    lookup->Run();
    return lookup;
  }
  const HANDLE waits[] = {cancel, lookup->done.Get()};
  if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return nullptr;
  return lookup;
}

}  // namespace

std::string DetectActiveIPv4Address(const std::string& host, std::string* failure, uint32_t* server,
                                    HANDLE cancel) {
  std::string ignored;
  std::string& reason = failure != nullptr ? *failure : ignored;
  const std::shared_ptr<NameLookup> lookup = LookUp(host, cancel);
  if (!lookup) {
    reason = "the name lookup of \"" + host + "\" was cancelled";
    return std::string();
  }
  if (lookup->status != 0 || lookup->results == nullptr) {
    reason = "the name lookup of \"" + host + "\" failed: " +
             SystemErrorText(static_cast<unsigned long>(lookup->status != 0 ? lookup->status
                                                                            : WSAHOST_NOT_FOUND));
    return std::string();
  }
  std::string address;
  reason = "\"" + host + "\" has no IPv4 address";
  for (const addrinfo* entry = lookup->results; entry != nullptr && address.empty();
       entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    address = SourceAddressFor(*entry, &reason);
    if (!address.empty() && server != nullptr) {
      *server = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    }
  }
  if (!address.empty()) reason.clear();
  return address;
}

}  // namespace duzavide
