// Source of plugin registrars, one per plugin name.
#ifndef SHELL_PLUGIN_REGISTRY_H_
#define SHELL_PLUGIN_REGISTRY_H_

#include <string>

#include "channel/engine_api/flutter_windows.h"

namespace duzavide {

class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // The registrar for `plugin_name` (UTF-8), or null when there is none.
  virtual FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) = 0;
};

}  // namespace duzavide

#endif  // SHELL_PLUGIN_REGISTRY_H_
