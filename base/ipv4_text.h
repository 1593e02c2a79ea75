// IPv4 addresses as dotted-decimal text. Pure; any thread.
#ifndef BASE_IPV4_TEXT_H_
#define BASE_IPV4_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>

namespace duzavide {

// The address (host byte order: 10.0.0.1 is 0x0A000001) of strict dotted-decimal
// text: exactly four decimal parts of one to three digits, each at most 255, no
// leading zero (so "010" is refused rather than read as octal or decimal), no
// sign, blank or other character. Nothing for anything else.
std::optional<uint32_t> ParseDottedIPv4(const std::string& text);

// Dotted-decimal text of a host-order address.
std::string DottedIPv4(uint32_t address);

}  // namespace duzavide

#endif  // BASE_IPV4_TEXT_H_
