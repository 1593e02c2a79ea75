// Description of the Flutter application from which an engine is created.
#ifndef SHELL_ENGINE_PROJECT_H_
#define SHELL_ENGINE_PROJECT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace duzavide {

struct EngineProject {
  // Folder of the application's assets, the ICU data file and the compiled
  // application library. Handed to the engine as given (relative paths included).
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  // UTF-8 name of the Dart entrypoint; empty selects the application's default.
  std::string dart_entrypoint;
  // UTF-8 arguments handed to the entrypoint, in order.
  std::vector<std::string> dart_entrypoint_arguments;
  // Passed to the engine unchanged; their meaning belongs to the engine.
  int32_t engine_option_1 = 0;
  int32_t engine_option_2 = 0;
  int32_t engine_option_3 = 0;
};

}  // namespace duzavide

#endif  // SHELL_ENGINE_PROJECT_H_
