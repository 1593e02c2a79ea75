#include "bridge/published_socket.h"

#include <gtest/gtest.h>

#include "base/win_handles.h"

namespace duzavide {
namespace {

// A relay thread that ends late neither replaces nor removes the socket of a newer
// relay.
TEST(PublishedSocketTest, ALateRelayNeverDisturbsTheNewerSocket) {
  UniqueSocket old_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  UniqueSocket new_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(old_socket && new_socket);
  PublishedSocket published;
  EXPECT_TRUE(published.Publish(new_socket.Get()));
  EXPECT_FALSE(published.Publish(old_socket.Get()));
  published.Withdraw(old_socket.Get());
  EXPECT_EQ(published.Get(), new_socket.Get());
  published.Withdraw(new_socket.Get());
  EXPECT_EQ(published.Get(), INVALID_SOCKET);
  EXPECT_TRUE(published.Publish(old_socket.Get()));
}

TEST(PublishedSocketTest, ShutDownUnpublishesAndIsHarmlessWhenEmpty) {
  PublishedSocket published;
  published.ShutDown();
  EXPECT_EQ(published.Get(), INVALID_SOCKET);
  UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(socket);
  published.Publish(socket.Get());
  published.ShutDown();
  EXPECT_EQ(published.Get(), INVALID_SOCKET);
  published.Withdraw(socket.Get());  // returns: no shutdown is in progress
}

}  // namespace
}  // namespace duzavide
