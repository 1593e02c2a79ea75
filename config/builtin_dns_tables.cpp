#include "config/builtin_dns_tables.h"

namespace duzavide {

const std::vector<std::string>& BuiltinDnsServers() {
  // Function-local static: initialised once even under concurrent first use;
  // deliberately leaked so it outlives every caller, including static destructors.
  static const auto* const servers =
      new std::vector<std::string>{"10.0.91.21", "10.0.91.16", "10.0.91.20"};
  return *servers;
}

const std::map<std::string, std::vector<std::string>>& BuiltinDnsHosts() {
  static const auto* const hosts = [] {
    const std::vector<std::string> addresses = {"104.18.32.47", "172.64.155.209", "104.18.33.45"};
    return new std::map<std::string, std::vector<std::string>>{
        {"api.openai.com", addresses},      {"chat.openai.com", addresses},
        {"ios.chat.openai.com", addresses}, {"android.chat.openai.com", addresses},
        {"domain:chatgpt.com", addresses},
    };
  }();
  return *hosts;
}

}  // namespace duzavide
