// The environment the proxy core is started with.
//
// The core runs elevated, and both it and its language runtime read variables
// that steer them: the core's location variables in several spellings
// (XRAY_LOCATION_CONFDIR, xray.location.confdir, any case), GODEBUG, GOMEMLIMIT,
// GOTRACEBACK, proxy variables and more. The signed-in user may set any of them
// in their own part of the registry, and the elevated host inherits them. So the
// core's environment is an allow-list built from nothing: the system's places
// (read from the system, never from the host's environment), a PATH of the
// system folder, TEMP and TMP in a protected folder, and XRAY_LOCATION_ASSET set
// to the core's own folder (whose files passed the trust rule when that is the
// data folder). A few names that only describe the machine are copied from the
// host's environment when present.
//
// Pure (the order of names is the system's, see environment_order.h); any
// thread.
#ifndef TUNNEL_CORE_CORE_ENVIRONMENT_H_
#define TUNNEL_CORE_CORE_ENVIRONMENT_H_

#include <string>

namespace duzavide {

// Places the host reads from the system for the core's environment. An empty
// place leaves its variables out.
struct CoreEnvironmentPlaces {
  std::wstring windows_folder;  // SystemRoot and windir; SystemDrive is its drive
  std::wstring system_folder;   // PATH
  std::wstring program_data;    // ProgramData
  std::wstring temp_folder;     // TEMP and TMP: a folder only administrators change
  std::wstring asset_folder;    // XRAY_LOCATION_ASSET: the core's own folder
};

// `host` is an environment block: "NAME=value" entries, each ended by a null
// character, the block ended by one more (as GetEnvironmentStringsW returns it;
// null reads as empty). The result is a block of the same form, for
// CreateProcessW with CREATE_UNICODE_ENVIRONMENT, sorted as Windows orders a
// block: the variables named by `places`, plus the entries of `host` whose name
// is exactly (in any case) COMPUTERNAME, NUMBER_OF_PROCESSORS, OS or
// PROCESSOR_ARCHITECTURE, the first of each. Nothing else of `host` is kept.
std::wstring CoreEnvironmentBlock(const wchar_t* host, const CoreEnvironmentPlaces& places);

}  // namespace duzavide

#endif  // TUNNEL_CORE_CORE_ENVIRONMENT_H_
