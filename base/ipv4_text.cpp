#include "base/ipv4_text.h"

namespace duzavide {

std::optional<uint32_t> ParseDottedIPv4(const std::string& text) {
  uint32_t address = 0;
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
    const size_t start = at;
    uint32_t value = 0;
    while (at < text.size() && at - start < 4 && text[at] >= '0' && text[at] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[at] - '0');
      ++at;
    }
    const size_t digits = at - start;
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[start] == '0')) {
      return std::nullopt;
    }
    address = address << 8 | value;
  }
  if (at != text.size()) return std::nullopt;
  return address;
}

std::string DottedIPv4(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace duzavide
