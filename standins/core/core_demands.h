// What the proxy core needs beside its configuration, checked at start the way the
// real core fails without it: the TUN driver library "wintun.dll" beside the
// executable for an inbound with protocol "tun", and the data files "geoip.dat" /
// "geosite.dat" in the asset folder for every "geoip:" / "geosite:" category that
// the routing or DNS section names.
//
// The asset folder is the one named by the environment variable XRAY_LOCATION_ASSET
// when it is set and not empty, else the executable's own folder. Our data files
// are text: a first line "duzavide-standin-<kind> 1" (kind "geoip" or "geosite"),
// then one category per line; a category the file does not list is refused like a
// missing file, as the real core refuses a code its data file lacks.
#ifndef STANDINS_CORE_CORE_DEMANDS_H_
#define STANDINS_CORE_CORE_DEMANDS_H_

#include <string>

namespace duzavide::standin {

// Checks every demand of the configuration `document` against the files: first the
// data files, then the TUN library, loaded from `own_folder` only (never through the
// search path) and kept loaded for the life of the process, as the core keeps its
// TUN interface. A document that is not a JSON object demands nothing. On failure
// returns false with a one-line reason (without line feed) in `error`.
bool MeetCoreDemands(const std::string& document, const std::wstring& own_folder,
                     std::string* error);

}  // namespace duzavide::standin

#endif  // STANDINS_CORE_CORE_DEMANDS_H_
