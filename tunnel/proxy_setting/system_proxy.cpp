#include "tunnel/proxy_setting/system_proxy.h"

// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <atomic>

#include "base/system_error_text.h"

namespace duzavide {
namespace {

static_assert(kProxyTypeDirect == PROXY_TYPE_DIRECT && kProxyTypeProxy == PROXY_TYPE_PROXY &&
              kProxyTypeAutoProxyUrl == PROXY_TYPE_AUTO_PROXY_URL &&
              kProxyTypeAutoDetect == PROXY_TYPE_AUTO_DETECT);

// The connection type as the user set it is read first: the plain one may have
// lost "automatically detect" after a detection that found nothing. Older
// systems (and Wine) refuse it; the plain one is what they have.
constexpr DWORD kFlagOptions[] = {INTERNET_PER_CONN_FLAGS_UI, INTERNET_PER_CONN_FLAGS};

// The system's name for `connection`: null for the default one.
wchar_t* ConnectionName(const std::wstring& connection) {
  return connection.empty() ? nullptr : const_cast<wchar_t*>(connection.c_str());
}

bool QueryOptions(const std::wstring& connection, INTERNET_PER_CONN_OPTIONW* options, DWORD count) {
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.pszConnection = ConnectionName(connection);
  list.dwOptionCount = count;
  list.pOptions = options;
  DWORD size = sizeof(list);
  return ::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size) !=
         FALSE;
}

bool SetOptions(const std::wstring& connection, INTERNET_PER_CONN_OPTIONW* options, DWORD count) {
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof(list);
  list.pszConnection = ConnectionName(connection);
  list.dwOptionCount = count;
  list.pOptions = options;
  return ::InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                              sizeof(list)) != FALSE;
}

// Takes a text the system allocated for a query, and frees it.
std::optional<std::wstring> TakeText(wchar_t* text) {
  if (text == nullptr) return std::nullopt;
  std::wstring copy(text);
  ::GlobalFree(text);
  return copy;
}

wchar_t* TextOrNull(const std::optional<std::wstring>& text) {
  return text ? const_cast<wchar_t*>(text->c_str()) : nullptr;
}

// Sets the `count` options that follow the two flag entries of `list`, with the
// flags written both as the user sets them and plainly, in that order: a system
// may accept the first and ignore it (Wine does), so the plain one is always
// written too. Where the first is refused, the plain one alone.
bool SetWithFlags(const std::wstring& connection, uint32_t flags, INTERNET_PER_CONN_OPTIONW* list,
                  DWORD count, std::string* failure) {
  list[0].dwOption = INTERNET_PER_CONN_FLAGS_UI;
  list[1].dwOption = INTERNET_PER_CONN_FLAGS;
  list[0].Value.dwValue = list[1].Value.dwValue = flags;
  if (SetOptions(connection, list, count + 2) || SetOptions(connection, list + 1, count + 1)) {
    return true;
  }
  *failure = LastSystemErrorText();
  return false;
}

}  // namespace

bool ReadSystemProxyOptions(const std::wstring& connection, ProxyOptions* options,
                            std::string* failure) {
  // One query for everything, so the values belong together (and because every
  // query costs: Wine's keeps a little memory of each). A system that refuses the
  // connection type as the user set it is not asked for it again; one that refuses
  // the discovery flags is asked without them.
  INTERNET_PER_CONN_OPTIONW list[5] = {};
  list[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  list[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  list[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  list[4].dwOption = INTERNET_PER_CONN_AUTODISCOVERY_FLAGS;
  static std::atomic<bool> flags_ui_refused{false};
  bool read = false;
  bool with_discovery = true;
  for (DWORD flag_option : kFlagOptions) {
    if (flag_option == INTERNET_PER_CONN_FLAGS_UI && flags_ui_refused.load()) continue;
    list[0].dwOption = flag_option;
    for (const DWORD count : {5, 4}) {
      if ((read = QueryOptions(connection, list, count))) {
        with_discovery = count == 5;
        break;
      }
    }
    if (read) break;
    if (flag_option == INTERNET_PER_CONN_FLAGS_UI) flags_ui_refused.store(true);
  }
  if (!read) {
    *failure = "the proxy setting could not be read: " + LastSystemErrorText();
    return false;
  }
  options->flags = list[0].Value.dwValue;
  options->server = TakeText(list[1].Value.pszValue);
  options->bypass = TakeText(list[2].Value.pszValue);
  options->autoconfig_url = TakeText(list[3].Value.pszValue);
  options->autodiscovery_flags.reset();
  if (with_discovery) options->autodiscovery_flags = list[4].Value.dwValue;
  return true;
}

bool WriteSystemProxyOptions(const std::wstring& connection, const ProxyOptions& options,
                             std::string* failure) {
  INTERNET_PER_CONN_OPTIONW list[6] = {};
  list[2].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  list[2].Value.pszValue = TextOrNull(options.server);
  list[3].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  list[3].Value.pszValue = TextOrNull(options.bypass);
  list[4].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  list[4].Value.pszValue = TextOrNull(options.autoconfig_url);
  list[5].dwOption = INTERNET_PER_CONN_AUTODISCOVERY_FLAGS;
  list[5].Value.dwValue = options.autodiscovery_flags.value_or(0);
  return SetWithFlags(connection, options.flags, list, options.autodiscovery_flags ? 4 : 3,
                      failure);
}

bool WriteSystemProxyFlags(const std::wstring& connection, uint32_t flags, std::string* failure) {
  INTERNET_PER_CONN_OPTIONW list[2] = {};
  return SetWithFlags(connection, flags, list, 0, failure);
}

void AnnounceSystemProxyChange() {
  // The first reaches every running program that uses the settings; the other two
  // have this process's own view read again.
  ::InternetSetOptionW(nullptr, INTERNET_OPTION_PROXY_SETTINGS_CHANGED, nullptr, 0);
  ::InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
  ::InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
}

}  // namespace duzavide
