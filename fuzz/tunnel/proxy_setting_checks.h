// The independent readings proxy_setting_fuzz judges the proxy rules against,
// built without coverage feedback: they check the code under test and must not
// steer the fuzzer towards their own branches.
#ifndef FUZZ_TUNNEL_PROXY_SETTING_CHECKS_H_
#define FUZZ_TUNNEL_PROXY_SETTING_CHECKS_H_

#include <string>

namespace duzavide::fuzzing {

// A host that names this machine: "localhost" or "::1" in any case, or four
// dot-separated decimal parts of 1 to 3 digits without a leading zero, each at
// most 255, the first 127.
bool NamesThisMachine(const std::string& host);

// `text` with every unit outside ASCII as a '?', as the proxy rules read texts.
std::string AsciiOf(const std::wstring& text);

}  // namespace duzavide::fuzzing

#endif  // FUZZ_TUNNEL_PROXY_SETTING_CHECKS_H_
