// The environment the proxy core is started with.
//
// The core runs elevated, and it reads variables that steer it (XRAY_...: where
// its data files are, and more). Such variables can be set by the signed-in user
// in their own part of the registry and would reach the elevated core through the
// host. So the core gets the host's environment without any of them, and the one
// it needs set by the host: the folder to read its data files from, which is the
// folder it was started from (whose files passed the trust rule when that is the
// data folder).
//
// Pure (the order of names is the system's, see environment_order.h); any
// thread.
#ifndef TUNNEL_CORE_CORE_ENVIRONMENT_H_
#define TUNNEL_CORE_CORE_ENVIRONMENT_H_

#include <string>

namespace duzavide {

// `host` is an environment block: "NAME=value" entries, each ended by a null
// character, the block ended by one more (as GetEnvironmentStringsW returns it;
// null reads as empty). The result is a block of the same form, for
// CreateProcessW with CREATE_UNICODE_ENVIRONMENT: every entry of `host` whose name
// does not begin with "XRAY_" (in any case), in its order, plus
// "XRAY_LOCATION_ASSET=<asset_folder>" placed by name without regard to case, as
// Windows orders a block (a block in that order stays in it). Entries whose name
// begins with "=" (the drives' current folders) are kept.
std::wstring CoreEnvironmentBlock(const wchar_t* host, const std::wstring& asset_folder);

}  // namespace duzavide

#endif  // TUNNEL_CORE_CORE_ENVIRONMENT_H_
