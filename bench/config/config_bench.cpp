// Time to build the proxy core configuration, for the smallest request and for
// one with a large DNS hosts table.

#include <benchmark/benchmark.h>

#include <string>

#include "config/core_config_writer.h"

namespace duzavide {
namespace {

// The smallest request the writer accepts.
ConnectRequest MinimalRequest() {
  ConnectRequest request;
  request.vlessUrl = "vless://u@h:443?";
  request.private_key = "cHJpdmF0ZQ==";
  request.address = "10.8.0.2/32";
  request.server_public_key = "c2VydmVy";
  return request;
}

void BM_BuildCoreConfigMinimal(benchmark::State& state) {
  const ConnectRequest request = MinimalRequest();
  for (auto _ : state) {
    std::string document = BuildCoreConfig(request, "192.168.1.5", 600, 601);
    benchmark::DoNotOptimize(document);
  }
}
BENCHMARK(BM_BuildCoreConfigMinimal);

void BM_BuildCoreConfigHundredHosts(benchmark::State& state) {
  ConnectRequest request = MinimalRequest();
  request.vlessUrl =
      "vless://0b7a3c1e-5d2f-4a8b-9c6d-112233445566@proxy.example.invalid:443?security=reality"
      "&pbk=Zm9vYmFyYmF6cXV4&sid=ab12&fp=chrome&sni=www.example.invalid";
  for (int i = 0; i < 100; ++i) {
    request.dns_hosts["host" + std::to_string(i) + ".lan.invalid"] = {
        "10.1." + std::to_string(i) + ".1", "10.1." + std::to_string(i) + ".2"};
  }
  request.dns_servers = {"10.0.0.53", "10.0.1.53"};
  for (auto _ : state) {
    std::string document = BuildCoreConfig(request, "192.168.1.5", 600, 601);
    benchmark::DoNotOptimize(document);
  }
}
BENCHMARK(BM_BuildCoreConfigHundredHosts);

}  // namespace
}  // namespace duzavide

BENCHMARK_MAIN();
