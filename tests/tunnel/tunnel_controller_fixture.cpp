#include "tests/tunnel/tunnel_controller_fixture.h"

#include <utility>

#include "base/win_handles.h"

namespace duzavide::tunnel_test {

bool FakeProxyPlatform::ReadOptions(const std::wstring&, ProxyOptions* options, std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  *options = setting_;
  return true;
}

bool FakeProxyPlatform::WriteOptions(const std::wstring&, const ProxyOptions& options,
                                     std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  setting_ = options;
  ++writes_;
  return true;
}

bool FakeProxyPlatform::WriteFlags(const std::wstring&, uint32_t flags, std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  setting_.flags = flags;
  ++writes_;
  return true;
}

ProxyJournalState FakeProxyPlatform::LoadJournal(ConnectionProxies* saved, std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!journal_) return ProxyJournalState::kNone;
  *saved = *journal_;
  return ProxyJournalState::kPresent;
}

bool FakeProxyPlatform::SaveJournal(const ConnectionProxies& saved, std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  journal_ = saved;
  ++writes_;
  return true;
}

bool FakeProxyPlatform::DeleteJournal(std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  journal_.reset();
  return true;
}

ProxyOptions FakeProxyPlatform::setting() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return setting_;
}

int FakeProxyPlatform::writes() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return writes_;
}

bool FakeProxyPlatform::journal_exists() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return journal_.has_value();
}

FilteringPlatform::OpenResult FakeFilteringPlatform::Open(std::string*) {
  std::lock_guard<std::mutex> hold(mutex_);
  calls_.push_back("open");
  return OpenResult::kOpened;
}

bool FakeFilteringPlatform::Replace(const std::vector<LeakFilter>& filters, std::string*) {
  const int cores = CountCoreProcesses();
  std::lock_guard<std::mutex> hold(mutex_);
  calls_.push_back("replace");
  if (cores_at_first_replace_ < 0) cores_at_first_replace_ = cores;
  filters_ = filters;
  return true;
}

void FakeFilteringPlatform::Close() {
  std::lock_guard<std::mutex> hold(mutex_);
  calls_.push_back("close");
  filters_.clear();
}

std::vector<std::string> FakeFilteringPlatform::calls() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return calls_;
}

std::vector<LeakFilter> FakeFilteringPlatform::filters() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return filters_;
}

int FakeFilteringPlatform::cores_at_first_replace() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return cores_at_first_replace_;
}

TunnelControllerTest::TunnelControllerTest() {
  SetLineSink([this](const std::string& line) { lines_.Add(line); });
}

TunnelControllerTest::~TunnelControllerTest() { SetLineSink(nullptr); }

std::unique_ptr<TunnelController> TunnelControllerTest::MakeController(
    TunnelSession::AddressDetector detect_address) {
  TunnelController::Seams seams;
  seams.detect_address = std::move(detect_address);
  seams.read_path = [this](uint32_t, const std::string&) -> std::optional<NetworkPath> {
    std::lock_guard<std::mutex> hold(path_mutex_);
    return path_;
  };
  seams.proxy_platform = &proxy_;
  seams.filtering = &filtering_;
  seams.tunnel_interface = [this]() -> std::optional<uint64_t> {
    std::lock_guard<std::mutex> hold(path_mutex_);
    return tunnel_luid_;
  };
  seams.lock_place = [] {
    MachineLockPlace place;
    place.mutex_name = LockName();
    place.step = LockNamespaceStep::kOpened;
    return place;
  };
  return std::make_unique<TunnelController>(std::move(seams));
}

std::wstring TunnelControllerTest::LockName() {
  return L"Local\\Duzavide.Test.Tunnel." + std::to_wstring(::GetCurrentProcessId());
}

ControlChannelReply TunnelControllerTest::Call(TunnelController& controller,
                                               const MethodCall& call) {
  UniqueHandle answered(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  controller.SetNotifier([event = answered.Get()] { ::SetEvent(event); });
  std::optional<ControlChannelReply> reply;
  EXPECT_TRUE(controller.PostCall(call, [&reply](const ControlChannelReply& r) { reply = r; }));
  while (!reply && ::WaitForSingleObject(answered.Get(), 30000) == WAIT_OBJECT_0) {
    controller.RunCompletions();
  }
  controller.SetNotifier(nullptr);
  EXPECT_TRUE(reply.has_value()) << "no answer to " << call.method_name();
  return reply.value_or(ControlChannelReply{});
}

bool TunnelControllerTest::Connected(TunnelController& controller) {
  const EncodableValue value = Call(controller, MethodCall("isConnected", nullptr)).value;
  return std::holds_alternative<bool>(value) && std::get<bool>(value);
}

void TunnelControllerTest::SetPath(const NetworkPath& path) {
  std::lock_guard<std::mutex> hold(path_mutex_);
  path_ = path;
}

}  // namespace duzavide::tunnel_test
