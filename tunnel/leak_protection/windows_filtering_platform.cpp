#include "tunnel/leak_protection/windows_filtering_platform.h"

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <fwpmu.h>
// clang-format on

#include <memory>

#include "base/system_error_text.h"

namespace duzavide {
namespace {

// The engine's own identifiers of the layers and condition fields used here.
constexpr GUID kLayerOutboundV4 = {
    0xc38d57d1, 0x05a7, 0x4c33, {0x90, 0x4f, 0x7f, 0xbc, 0xee, 0xe6, 0x0e, 0x82}};
constexpr GUID kLayerOutboundV6 = {
    0x4a72393b, 0x319f, 0x44bc, {0x84, 0xc3, 0xba, 0x54, 0xdc, 0xb3, 0xb6, 0xb4}};
constexpr GUID kLayerInboundV4 = {
    0xe1cd9fe7, 0xf4b5, 0x4273, {0x96, 0xc0, 0x59, 0x2e, 0x48, 0x7b, 0x86, 0x50}};
constexpr GUID kLayerInboundV6 = {
    0xa3b42c97, 0x9f04, 0x4672, {0xb8, 0x7e, 0xce, 0xe9, 0xc4, 0x83, 0x25, 0x7f}};
constexpr GUID kFieldApplication = {
    0xd78e1e87, 0x8644, 0x4ea5, {0x94, 0x37, 0xd8, 0x09, 0xec, 0xef, 0xc9, 0x71}};
constexpr GUID kFieldLocalInterface = {
    0x4cd62a49, 0x59c3, 0x4969, {0xb7, 0xf3, 0xbd, 0xa5, 0xd3, 0x28, 0x90, 0xa4}};
constexpr GUID kFieldFlags = {
    0x632ce23b, 0x5167, 0x435c, {0x86, 0xd7, 0xe9, 0x03, 0x68, 0x4a, 0xa8, 0x0c}};
constexpr GUID kFieldRemotePort = {
    0xc35a604d, 0xd22b, 0x4e1a, {0x91, 0xb4, 0x68, 0xf6, 0x74, 0xee, 0x67, 0x4b}};
constexpr GUID kFieldLocalPort = {  // the message type, for ICMP
    0x0c1ba1af,
    0x5765,
    0x453f,
    {0xaf, 0x22, 0xa8, 0xf7, 0x91, 0xac, 0x77, 0x5b}};
constexpr GUID kFieldProtocol = {
    0x3971ef2b, 0x623e, 0x4f9a, {0x8c, 0xb1, 0x6e, 0x79, 0xb8, 0x06, 0xb9, 0xa7}};
constexpr GUID kFieldRemoteAddress = {
    0xb235ae9a, 0x1d64, 0x49b8, {0xa4, 0x4c, 0x5f, 0xf3, 0xd9, 0x09, 0x50, 0x45}};

// Ours, fixed, so that they can be found again ("Duzavide Connect").
constexpr GUID kProvider = {
    0x5d2c8f31, 0x8a4e, 0x4f6b, {0x9c, 0x1d, 0x2e, 0x7a, 0x44, 0x90, 0x3b, 0x01}};
constexpr GUID kSubLayer = {
    0x5d2c8f31, 0x8a4e, 0x4f6b, {0x9c, 0x1d, 0x2e, 0x7a, 0x44, 0x90, 0x3b, 0x02}};

constexpr UINT32 kDynamicSession = 0x00000001;
constexpr wchar_t kName[] = L"Duzavide Connect";

const GUID& LayerKey(FilterLayer layer) {
  switch (layer) {
    case FilterLayer::kOutboundV4:
      return kLayerOutboundV4;
    case FilterLayer::kOutboundV6:
      return kLayerOutboundV6;
    case FilterLayer::kInboundV4:
      return kLayerInboundV4;
    case FilterLayer::kInboundV6:
      break;
  }
  return kLayerInboundV6;
}

std::string EngineFailure(const char* what, DWORD error) {
  return std::string(what) + ": " + SystemErrorText(error);
}

// The values one filter's conditions point to, alive until the filter is added.
struct ConditionStore {
  std::vector<FWPM_FILTER_CONDITION0> conditions;
  std::unique_ptr<UINT64> luid;
  FWP_BYTE_BLOB* application = nullptr;
  std::unique_ptr<FWP_RANGE0> local_range;
  std::unique_ptr<FWP_RANGE0> remote_range;
  std::unique_ptr<FWP_V4_ADDR_AND_MASK> v4;
  std::unique_ptr<FWP_V6_ADDR_AND_MASK> v6;

  ConditionStore() = default;
  ConditionStore(const ConditionStore&) = delete;
  ConditionStore& operator=(const ConditionStore&) = delete;
  ~ConditionStore() {
    if (application != nullptr) ::FwpmFreeMemory0(reinterpret_cast<void**>(&application));
  }

  FWPM_FILTER_CONDITION0& Add(const GUID& field, FWP_MATCH_TYPE match) {
    conditions.emplace_back();
    FWPM_FILTER_CONDITION0& condition = conditions.back();
    condition.fieldKey = field;
    condition.matchType = match;
    return condition;
  }

  void AddPort(const GUID& field, const PortRange& ports, std::unique_ptr<FWP_RANGE0>* range) {
    if (ports.low == ports.high) {
      FWPM_FILTER_CONDITION0& condition = Add(field, FWP_MATCH_EQUAL);
      condition.conditionValue.type = FWP_UINT16;
      condition.conditionValue.uint16 = ports.low;
      return;
    }
    *range = std::make_unique<FWP_RANGE0>();
    (*range)->valueLow.type = FWP_UINT16;
    (*range)->valueLow.uint16 = ports.low;
    (*range)->valueHigh.type = FWP_UINT16;
    (*range)->valueHigh.uint16 = ports.high;
    FWPM_FILTER_CONDITION0& condition = Add(field, FWP_MATCH_RANGE);
    condition.conditionValue.type = FWP_RANGE_TYPE;
    condition.conditionValue.rangeValue = range->get();
  }
};

// Fills `store` with the conditions of `filter`; false with `failure` when the
// application's identifier cannot be made.
bool BuildConditions(const LeakFilter& filter, ConditionStore* store, std::string* failure) {
  store->conditions.reserve(8);
  if (filter.loopback) {
    FWPM_FILTER_CONDITION0& condition = store->Add(kFieldFlags, FWP_MATCH_FLAGS_ALL_SET);
    condition.conditionValue.type = FWP_UINT32;
    condition.conditionValue.uint32 = FWP_CONDITION_FLAG_IS_LOOPBACK;
  }
  if (filter.interface_luid) {
    store->luid = std::make_unique<UINT64>(*filter.interface_luid);
    FWPM_FILTER_CONDITION0& condition = store->Add(kFieldLocalInterface, FWP_MATCH_EQUAL);
    condition.conditionValue.type = FWP_UINT64;
    condition.conditionValue.uint64 = store->luid.get();
  }
  if (!filter.application.empty()) {
    const DWORD error =
        ::FwpmGetAppIdFromFileName0(filter.application.c_str(), &store->application);
    if (error != ERROR_SUCCESS) {
      *failure = EngineFailure("the program's identifier could not be made", error);
      return false;
    }
    FWPM_FILTER_CONDITION0& condition = store->Add(kFieldApplication, FWP_MATCH_EQUAL);
    condition.conditionValue.type = FWP_BYTE_BLOB_TYPE;
    condition.conditionValue.byteBlob = store->application;
  }
  if (filter.protocol) {
    FWPM_FILTER_CONDITION0& condition = store->Add(kFieldProtocol, FWP_MATCH_EQUAL);
    condition.conditionValue.type = FWP_UINT8;
    condition.conditionValue.uint8 = *filter.protocol;
  }
  if (filter.local_port) store->AddPort(kFieldLocalPort, *filter.local_port, &store->local_range);
  if (filter.remote_port) {
    store->AddPort(kFieldRemotePort, *filter.remote_port, &store->remote_range);
  }
  if (filter.remote_v4) {
    store->v4 = std::make_unique<FWP_V4_ADDR_AND_MASK>();
    store->v4->addr = filter.remote_v4->address;
    const uint8_t length = filter.remote_v4->prefix_length;
    store->v4->mask = length == 0 ? 0 : ~UINT32{0} << (32 - length);
    FWPM_FILTER_CONDITION0& condition = store->Add(kFieldRemoteAddress, FWP_MATCH_EQUAL);
    condition.conditionValue.type = FWP_V4_ADDR_MASK;
    condition.conditionValue.v4AddrMask = store->v4.get();
  }
  if (filter.remote_v6) {
    store->v6 = std::make_unique<FWP_V6_ADDR_AND_MASK>();
    for (size_t i = 0; i < 16; ++i) store->v6->addr[i] = filter.remote_v6->address[i];
    store->v6->prefixLength = filter.remote_v6->prefix_length;
    FWPM_FILTER_CONDITION0& condition = store->Add(kFieldRemoteAddress, FWP_MATCH_EQUAL);
    condition.conditionValue.type = FWP_V6_ADDR_MASK;
    condition.conditionValue.v6AddrMask = store->v6.get();
  }
  return true;
}

}  // namespace

FilteringPlatform::OpenResult WindowsFilteringPlatform::Open(std::string* failure) {
  Close();
  FWPM_SESSION0 session{};
  session.displayData.name = const_cast<wchar_t*>(kName);
  session.flags = kDynamicSession;
  HANDLE engine = nullptr;
  const DWORD error = ::FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, &session, &engine);
  if (error != ERROR_SUCCESS) {
    *failure = EngineFailure("the filtering engine could not be opened", error);
    // Nothing else may be called: some systems without an engine end the process
    // on the next call.
    return error == RPC_S_CANNOT_SUPPORT || error == ERROR_CALL_NOT_IMPLEMENTED
               ? OpenResult::kNoEngine
               : OpenResult::kFailed;
  }
  engine_ = engine;
  DWORD step = ::FwpmTransactionBegin0(engine_, 0);
  if (step == ERROR_SUCCESS) {
    FWPM_PROVIDER0 provider{};
    provider.providerKey = kProvider;
    provider.displayData.name = const_cast<wchar_t*>(kName);
    step = ::FwpmProviderAdd0(engine_, &provider, nullptr);
    if (step == ERROR_SUCCESS) {
      FWPM_SUBLAYER0 sublayer{};
      sublayer.subLayerKey = kSubLayer;
      sublayer.displayData.name = const_cast<wchar_t*>(kName);
      sublayer.providerKey = const_cast<GUID*>(&kProvider);
      sublayer.weight = 0xFFFF;  // ours decides before other programs' sub-layers
      step = ::FwpmSubLayerAdd0(engine_, &sublayer, nullptr);
    }
    if (step == ERROR_SUCCESS) step = ::FwpmTransactionCommit0(engine_);
    if (step != ERROR_SUCCESS) ::FwpmTransactionAbort0(engine_);
  }
  if (step != ERROR_SUCCESS) {
    *failure = EngineFailure("the filtering engine refused our sub-layer", step);
    Close();
    return OpenResult::kFailed;
  }
  return OpenResult::kOpened;
}

bool WindowsFilteringPlatform::Replace(const std::vector<LeakFilter>& filters,
                                       std::string* failure) {
  if (engine_ == nullptr) {
    *failure = "the filtering engine is not open";
    return false;
  }
  DWORD error = ::FwpmTransactionBegin0(engine_, 0);
  if (error != ERROR_SUCCESS) {
    *failure = EngineFailure("the filtering engine refused a transaction", error);
    return false;
  }
  std::vector<uint64_t> added;
  for (uint64_t id : filter_ids_) {
    error = ::FwpmFilterDeleteById0(engine_, id);
    if (error != ERROR_SUCCESS) {
      *failure = EngineFailure("a filter could not be removed", error);
      break;
    }
  }
  for (size_t i = 0; error == ERROR_SUCCESS && i < filters.size(); ++i) {
    const LeakFilter& filter = filters[i];
    ConditionStore store;
    if (!BuildConditions(filter, &store, failure)) {
      error = ERROR_INVALID_PARAMETER;
      break;
    }
    const std::wstring name =
        std::wstring(kName) + L": " + std::wstring(filter.name.begin(), filter.name.end());
    FWPM_FILTER0 entry{};
    entry.displayData.name = const_cast<wchar_t*>(name.c_str());
    entry.providerKey = const_cast<GUID*>(&kProvider);
    entry.layerKey = LayerKey(filter.layer);
    entry.subLayerKey = kSubLayer;
    entry.weight.type = FWP_UINT8;
    entry.weight.uint8 = filter.weight;
    entry.numFilterConditions = static_cast<UINT32>(store.conditions.size());
    entry.filterCondition = store.conditions.empty() ? nullptr : store.conditions.data();
    entry.action.type =
        filter.action == FilterAction::kPermit ? FWP_ACTION_PERMIT : FWP_ACTION_BLOCK;
    UINT64 id = 0;
    error = ::FwpmFilterAdd0(engine_, &entry, nullptr, &id);
    if (error != ERROR_SUCCESS) {
      *failure = EngineFailure(("the filter \"" + filter.name + "\" was refused").c_str(), error);
      break;
    }
    added.push_back(id);
  }
  if (error == ERROR_SUCCESS) {
    error = ::FwpmTransactionCommit0(engine_);
    if (error != ERROR_SUCCESS) {
      *failure = EngineFailure("the filtering engine refused the change", error);
    }
  }
  if (error != ERROR_SUCCESS) {
    ::FwpmTransactionAbort0(engine_);
    return false;
  }
  filter_ids_ = std::move(added);
  return true;
}

void WindowsFilteringPlatform::Close() {
  if (engine_ != nullptr) ::FwpmEngineClose0(engine_);
  engine_ = nullptr;
  filter_ids_.clear();
}

}  // namespace duzavide
