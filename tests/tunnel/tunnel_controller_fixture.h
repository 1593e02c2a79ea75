// Fixture for tests that run the tunnel controller against the stand-in core: its
// calls answered synchronously, its lines recorded, and the network path and the
// proxy setting as the test says.
#ifndef TESTS_TUNNEL_TUNNEL_CONTROLLER_FIXTURE_H_
#define TESTS_TUNNEL_TUNNEL_CONTROLLER_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/line_sink.h"
#include "tests/tunnel/tunnel_test_support.h"
#include "tunnel/leak_protection/filtering_platform.h"
#include "tunnel/proxy_setting/proxy_platform.h"
#include "tunnel/tunnel_controller.h"

namespace duzavide::tunnel_test {

// The user's proxy setting in memory (the default connection alone), counting
// every write to it.
class FakeProxyPlatform final : public ProxyPlatform {
 public:
  bool ReadOptions(const std::wstring&, ProxyOptions* options, std::string*) override;
  bool WriteOptions(const std::wstring&, const ProxyOptions& options, std::string*) override;
  bool WriteFlags(const std::wstring&, uint32_t flags, std::string*) override;
  void AnnounceChange() override {}
  std::vector<std::wstring> ConnectedEntries() override { return {}; }
  bool EntryExists(const std::wstring&) override { return true; }
  bool HasListener(const ProxyEndpoint&) override { return true; }
  ProxyJournalState LoadJournal(ConnectionProxies* saved, std::string*) override;
  bool SaveJournal(const ConnectionProxies& saved, std::string*) override;
  bool DeleteJournal(std::string*) override;

  ProxyOptions setting() const;
  int writes() const;
  bool journal_exists() const;

 private:
  mutable std::mutex mutex_;
  ProxyOptions setting_;
  std::optional<ConnectionProxies> journal_;
  int writes_ = 0;
};

// A filtering engine that keeps the filters in memory and records its calls
// ("open", "replace", "close") and how many cores ran at the first replace.
class FakeFilteringPlatform final : public FilteringPlatform {
 public:
  OpenResult Open(std::string*) override;
  bool Replace(const std::vector<LeakFilter>& filters, std::string*) override;
  void Close() override;

  std::vector<std::string> calls() const;
  std::vector<LeakFilter> filters() const;
  int cores_at_first_replace() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<LeakFilter> filters_;
  int cores_at_first_replace_ = -1;
};

// Windows Sockets for the test's own sockets (the relay), before any controller.
struct WinsockUse {
  WinsockUse() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockUse() { ::WSACleanup(); }
};

class TunnelControllerTest : public ::testing::Test {
 protected:
  TunnelControllerTest();
  ~TunnelControllerTest() override;

  // A controller whose path reader reads `path_`, whose proxy setting is
  // `proxy_`, whose filtering engine is `filtering_`, whose tunnel interface is
  // `tunnel_luid_` and whose machine-wide lock is a mutex named LockName(), in
  // no namespace (Wine offers no private namespaces).
  // `detect_address` as the controller's seam, when given.
  std::unique_ptr<TunnelController> MakeController(
      TunnelSession::AddressDetector detect_address = nullptr);
  static std::wstring LockName();
  // Runs `call` on `controller` and waits for its answer.
  ControlChannelReply Call(TunnelController& controller, const MethodCall& call);
  bool Connected(TunnelController& controller);
  void SetPath(const NetworkPath& path);

  WinsockUse winsock_;
  StandinCore core_;
  EchoRelay relay_;
  LineRecorder lines_;
  FakeProxyPlatform proxy_;
  FakeFilteringPlatform filtering_;
  std::optional<uint64_t> tunnel_luid_ = 0x77;  // under path_mutex_
  std::mutex path_mutex_;
  NetworkPath path_{true, "127.0.0.1"};
};

}  // namespace duzavide::tunnel_test

#endif  // TESTS_TUNNEL_TUNNEL_CONTROLLER_FIXTURE_H_
