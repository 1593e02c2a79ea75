#include "bridge/interface_detection.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <string>
#include <vector>

#include "base/win_handles.h"
#include "bridge/loopback_port.h"

namespace duzavide {
namespace {

// Literals only: nothing is looked up or sent. With an event that can cancel it,
// the lookup runs on a thread of its own and answers the same, unless the event is
// set: then it answers at once.
TEST(DetectActiveIPv4AddressTest, ResultsAndReasonsForLiterals) {
  struct Case {
    std::string host;
    int cancel;  // 0: no event, 1: an event not set, 2: an event set
    std::string expected;
    std::string reason_start;
  };
  for (const Case& c : std::vector<Case>{
           {"127.0.0.1", 0, "127.0.0.1", ""},  // a loopback literal resolves to itself
           {"127.0.0.1", 1, "127.0.0.1", ""},
           {"127.0.0.1", 2, "", "the name lookup of \"127.0.0.1\" was cancelled"},
           {"::1", 0, "", "the name lookup of \"::1\" failed: "},  // IPv6 only
           {"::1", 1, "", "the name lookup of \"::1\" failed: "},
           {"255.255.255.255", 0, "", "no route: "},
       }) {
    const UniqueHandle cancel(c.cancel != 0 ? ::CreateEventW(nullptr, TRUE, c.cancel == 2, nullptr)
                                            : nullptr);
    std::string reason = "left over";
    EXPECT_EQ(DetectActiveIPv4Address(c.host, &reason, nullptr, cancel.Get()), c.expected)
        << c.host << " " << c.cancel;
    EXPECT_EQ(reason.rfind(c.reason_start, 0), 0u) << c.host << ": " << reason;
    if (c.reason_start.empty()) {
      EXPECT_EQ(reason, "");
    }
  }
}

bool BindLoopback(SOCKET socket, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

TEST(ReserveLoopbackTcpPortTest, HoldsThePortUntilClosed) {
  std::optional<ReservedLoopbackPort> reserved = ReserveLoopbackTcpPort();
  ASSERT_TRUE(reserved.has_value());
  ASSERT_TRUE(reserved->socket.IsValid());
  ASSERT_NE(reserved->port, 0);

  sockaddr_in bound{};
  int size = sizeof(bound);
  ASSERT_EQ(::getsockname(reserved->socket.Get(), reinterpret_cast<sockaddr*>(&bound), &size), 0);
  EXPECT_EQ(ntohs(bound.sin_port), reserved->port);
  EXPECT_EQ(bound.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  DWORD flags = ~0u;  // a core launched meanwhile must not get it
  ASSERT_TRUE(::GetHandleInformation(reinterpret_cast<HANDLE>(reserved->socket.Get()), &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);

  UniqueSocket second(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(second);
  EXPECT_FALSE(BindLoopback(second.Get(), reserved->port));

  reserved->socket.Reset();
  UniqueSocket third(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(third);
  EXPECT_TRUE(BindLoopback(third.Get(), reserved->port));
}

TEST(ReserveLoopbackTcpPortTest, EachReservationGetsItsOwnPort) {
  std::optional<ReservedLoopbackPort> first = ReserveLoopbackTcpPort();
  std::optional<ReservedLoopbackPort> second = ReserveLoopbackTcpPort();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->port, second->port);
}

}  // namespace
}  // namespace duzavide
