#include "bridge/private_socket.h"

#include <winsock2.h>

namespace duzavide {

UniqueSocket OpenPrivateSocket(int type, int protocol) {
  return UniqueSocket(::WSASocketW(AF_INET, type, protocol, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
}

}  // namespace duzavide
