#include "config/json_text.h"

namespace duzavide {

std::string EscapeJsonString(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    switch (byte) {
      case 0x08:
        out += "\\b";
        break;
      case 0x09:
        out += "\\t";
        break;
      case 0x0A:
        out += "\\n";
        break;
      case 0x0C:
        out += "\\f";
        break;
      case 0x0D:
        out += "\\r";
        break;
      case 0x22:
        out += "\\\"";
        break;
      case 0x5C:
        out += "\\\\";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHexDigits[byte >> 4];
          out += kHexDigits[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string QuoteJsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 10);
  out += '"';
  out += EscapeJsonString(text);
  out += '"';
  return out;
}

std::string RenderJsonStringList(const std::vector<std::string>& items) {
  std::string out = "[";
  bool first = true;
  for (const std::string& item : items) {
    if (item.empty()) continue;
    if (!first) out += ", ";
    out += QuoteJsonString(item);
    first = false;
  }
  out += ']';
  return out;
}

}  // namespace duzavide
