// Encoding and decoding the control channel's two heaviest messages, a
// "connect" call and a 64 KiB "getLog" success reply, next to a plain memcpy of
// the same bytes. After the usual table it prints each case's time per message
// and its ratio to the memcpy baseline.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "channel/method_call.h"
#include "channel/method_result.h"
#include "channel/standard_method_codec.h"

namespace duzavide {
namespace {

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

std::string VlessLink() {
  std::string link =
      "vless://3f9c2d1e-8b7a-4c6d-9e0f-1a2b3c4d5e6f@edge-fra-3.duzavide.invalid:443"
      "?encryption=none&flow=xtls-rprx-vision&security=reality&sni=www.cdn-mirror.invalid"
      "&fp=chrome&pbk=Xk3mP9qLwR2vT8yZ1nB4cF6hJ0sD5gA7eU2iO9pK3lM&sid=6ba85179e30d4fc2"
      "&spx=%2Fstatic%2Fassets&type=tcp&headerType=none#Duzavide%20Frankfurt%203";
  link.resize(300, 'x');
  return link;
}

EncodableValue ConnectArguments() {
  EncodableMap dns_hosts;
  const char* const kHosts[] = {"api.duzavide.invalid", "auth.duzavide.invalid",
                                "cdn.duzavide.invalid", "relay.duzavide.invalid",
                                "status.duzavide.invalid"};
  int octet = 10;
  for (const char* host : kHosts) {
    EncodableList addresses;
    for (int i = 0; i < 3; ++i) {
      addresses.push_back("198.51.100." + std::to_string(octet++));
    }
    dns_hosts.emplace(host, std::move(addresses));
  }
  return EncodableValue(EncodableMap{
      {"vlessUrl", VlessLink()},
      {"wireguard",
       EncodableMap{
           {"private_key", "yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk="},
           {"address", "10.66.66.2/32"},
           {"server_public_key", "xTIBA5rboUvnH4htodjb6e697QjLERt1NAB4mZqp8Dg="},
           {"relay_address", "10.66.66.1"},
           {"relay_port", int32_t{51821}},
           {"mtu", int32_t{1200}},
           {"keepalive", int32_t{25}},
       }},
      {"routePolicy",
       EncodableMap{
           {"dns_hosts", std::move(dns_hosts)},
           {"dns_servers", EncodableList{"1.1.1.1", "8.8.8.8", "9.9.9.9"}},
       }},
  });
}

EncodableValue LogText() {
  std::string log;
  const std::string line =
      "2026/12/07 05:00:00 [Info] [1234567] proxy/vless/outbound: tunnelling request to "
      "tcp:edge-fra-3.duzavide.invalid:443\r\n";
  while (log.size() < 64 * 1024) log += line;
  log.resize(64 * 1024);
  return EncodableValue(std::move(log));
}

class DiscardingResult : public MethodResult {
 protected:
  void SuccessInternal(const EncodableValue* result) override { benchmark::DoNotOptimize(result); }
  void ErrorInternal(const std::string&, const std::string&, const EncodableValue*) override {}
  void NotImplementedInternal() override {}
};

void Memcpy(benchmark::State& state, const std::vector<uint8_t>& source) {
  std::vector<uint8_t> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(source.size()));
}

const std::vector<uint8_t>& ConnectBytes() {
  static const std::vector<uint8_t> bytes = *Codec().EncodeMethodCall(
      MethodCall("connect", std::make_unique<EncodableValue>(ConnectArguments())));
  return bytes;
}

const std::vector<uint8_t>& LogReplyBytes() {
  static const EncodableValue log = LogText();
  static const std::vector<uint8_t> bytes = *Codec().EncodeSuccessReply(&log);
  return bytes;
}

void ConnectCallEncode(benchmark::State& state) {
  const MethodCall call("connect", std::make_unique<EncodableValue>(ConnectArguments()));
  for (auto _ : state) {
    auto bytes = Codec().EncodeMethodCall(call);
    benchmark::DoNotOptimize(bytes->data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ConnectBytes().size()));
}

void ConnectCallDecode(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = ConnectBytes();
  for (auto _ : state) {
    auto call = Codec().DecodeMethodCall(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(call.get());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void ConnectCallMemcpy(benchmark::State& state) { Memcpy(state, ConnectBytes()); }

void LogReplyEncode(benchmark::State& state) {
  const EncodableValue log = LogText();
  for (auto _ : state) {
    auto bytes = Codec().EncodeSuccessReply(&log);
    benchmark::DoNotOptimize(bytes->data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(LogReplyBytes().size()));
}

void LogReplyDecode(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = LogReplyBytes();
  DiscardingResult result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Codec().DecodeReply(bytes.data(), bytes.size(), &result));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void LogReplyMemcpy(benchmark::State& state) { Memcpy(state, LogReplyBytes()); }

BENCHMARK(ConnectCallEncode)->Name("ConnectCall/Encode");
BENCHMARK(ConnectCallDecode)->Name("ConnectCall/Decode");
BENCHMARK(ConnectCallMemcpy)->Name("ConnectCall/Memcpy");
BENCHMARK(LogReplyEncode)->Name("LogReply/Encode");
BENCHMARK(LogReplyDecode)->Name("LogReply/Decode");
BENCHMARK(LogReplyMemcpy)->Name("LogReply/Memcpy");

// The console table, then one summary line per case: nanoseconds per message
// and how many times the memcpy of the same bytes that is, in wall-clock time
// and in CPU time (the steadier of the two on a busy machine).
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions the median stands for the case.
      const bool usable = run.run_type == Run::RT_Iteration || run.aggregate_name == "median";
      if (run.error_occurred || !usable) continue;
      const double unit = ToNanoseconds(run.time_unit);
      times_[run.run_name.str()] = {run.GetAdjustedRealTime() * unit,
                                    run.GetAdjustedCPUTime() * unit};
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nPer message; ratio = time / memcpy time of the same bytes\n");
    std::printf("  %-20s %12s %8s %12s %8s\n", "case", "real ns", "ratio", "cpu ns", "ratio");
    for (const auto& [name, time] : times_) {
      const auto baseline = times_.find(name.substr(0, name.find('/')) + "/Memcpy");
      if (baseline == times_.end()) continue;
      std::printf("  %-20s %12.1f %7.2fx %12.1f %7.2fx\n", name.c_str(), time.real,
                  time.real / baseline->second.real, time.cpu, time.cpu / baseline->second.cpu);
    }
  }

 private:
  struct Times {
    double real;
    double cpu;
  };

  static double ToNanoseconds(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1;
      case benchmark::kMicrosecond:
        return 1e3;
      case benchmark::kMillisecond:
        return 1e6;
      case benchmark::kSecond:
        return 1e9;
    }
    return 1;
  }

  std::map<std::string, Times> times_;
};

}  // namespace
}  // namespace duzavide

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  duzavide::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
