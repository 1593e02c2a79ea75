#include "tunnel/system_proxy.h"

// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

namespace duzavide {

bool ResetSystemProxy() {
  INTERNET_PER_CONN_OPTIONW option{};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  option.Value.dwValue = PROXY_TYPE_DIRECT;

  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.pszConnection = nullptr;  // the default connection
  list.dwOptionCount = 1;
  list.dwOptionError = 0;
  list.pOptions = &option;

  bool set = ::InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                                  sizeof(list)) != FALSE;
  ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
  ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
  return set;
}

}  // namespace duzavide
