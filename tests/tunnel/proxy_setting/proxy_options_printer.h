// Readable failure messages for comparisons of proxy options, in the native and
// the Windows tests alike.
#ifndef TESTS_TUNNEL_PROXY_SETTING_PROXY_OPTIONS_PRINTER_H_
#define TESTS_TUNNEL_PROXY_SETTING_PROXY_OPTIONS_PRINTER_H_

#include <optional>
#include <ostream>
#include <string>

#include "tunnel/proxy_setting/proxy_options.h"

namespace duzavide {

inline void PrintTo(const ProxyOptions& options, std::ostream* out) {
  auto text = [](const std::optional<std::wstring>& value) {
    return value ? "\"" + std::string(value->begin(), value->end()) + "\"" : std::string("none");
  };
  *out << "{flags " << options.flags << ", server " << text(options.server) << ", bypass "
       << text(options.bypass) << ", url " << text(options.autoconfig_url) << ", discovery "
       << options.autodiscovery_flags.value_or(0) << "}";
}

}  // namespace duzavide

#endif  // TESTS_TUNNEL_PROXY_SETTING_PROXY_OPTIONS_PRINTER_H_
