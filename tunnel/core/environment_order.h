// The order of the names in an environment block: Windows keeps a block sorted,
// and expects the block given to a new process to be sorted the same way.
#ifndef TUNNEL_CORE_ENVIRONMENT_ORDER_H_
#define TUNNEL_CORE_ENVIRONMENT_ORDER_H_

#include <string>

namespace duzavide {

// Whether the variable name `a` comes before `b` as Windows orders a block: code
// unit by code unit after upper-casing both, a name before any longer name it
// begins. On Windows the system's own upper-casing table decides; elsewhere (the
// native tests) the C library's, which agrees with it on ASCII. Any thread.
bool EnvironmentNameBefore(const std::wstring& a, const std::wstring& b);

}  // namespace duzavide

#endif  // TUNNEL_CORE_ENVIRONMENT_ORDER_H_
