#include "fuzz/tunnel/proxy_setting_checks.h"

#include <vector>

namespace duzavide::fuzzing {
namespace {

bool IsLoopbackLiteral(const std::string& host) {
  std::vector<std::string> parts(1);
  for (char c : host) {
    if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  if (parts.size() != 4 || parts[0] != "127") return false;
  for (const std::string& part : parts) {
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
  }
  return true;
}

}  // namespace

bool NamesThisMachine(const std::string& host) {
  std::string lower = host;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower == "localhost" || lower == "::1" || IsLoopbackLiteral(lower);
}

std::string AsciiOf(const std::wstring& text) {
  std::string ascii;
  for (wchar_t c : text) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return ascii;
}

}  // namespace duzavide::fuzzing
