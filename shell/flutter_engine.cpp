#include "shell/flutter_engine.h"

#include <utility>
#include <vector>

#include "base/line_sink.h"

namespace duzavide {

FlutterEngine::FlutterEngine(const EngineProject& project) {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path.c_str();
  properties.icu_data_path = project.icu_data_path.c_str();
  properties.aot_library_path = project.aot_library_path.c_str();
  properties.dart_entrypoint = project.dart_entrypoint.c_str();
  // The pointer array only needs to live during the create call.
  std::vector<const char*> arguments;
  arguments.reserve(project.dart_entrypoint_arguments.size());
  for (const std::string& argument : project.dart_entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }
  properties.dart_entrypoint_argc = static_cast<int>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  properties.engine_option_1 = project.engine_option_1;
  properties.engine_option_2 = project.engine_option_2;
  properties.engine_option_3 = project.engine_option_3;
  properties.reserved = 0;

  engine_ = FlutterDesktopEngineCreate(&properties);
  // The library may crash on a null engine: a failed creation asks nothing more.
  if (engine_ == nullptr) return;
  messenger_ = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
}

FlutterEngine::~FlutterEngine() {
  if (engine_ != nullptr && owns_engine_) FlutterDesktopEngineDestroy(engine_);
  engine_ = nullptr;
  next_frame_callback_ = nullptr;
  messenger_.reset();
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetPluginRegistrar(const std::string& plugin_name) {
  if (engine_ == nullptr) {
    EmitLine("Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

FlutterDesktopEngineRef FlutterEngine::ReleaseEngineOwnership() {
  owns_engine_ = false;
  return engine_;
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_ != nullptr) FlutterDesktopEngineReloadSystemFonts(engine_);
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  if (engine_ != nullptr) {
    FlutterDesktopEngineSetNextFrameCallback(engine_, &FlutterEngine::OnNextFrame, this);
  }
}

// static
void FlutterEngine::OnNextFrame(void* user_data) {
  auto* self = static_cast<FlutterEngine*>(user_data);
  if (!self->next_frame_callback_) return;
  // Emptied before running, so a callback that arms a new one keeps it.
  std::function<void()> callback = std::move(self->next_frame_callback_);
  self->next_frame_callback_ = nullptr;
  callback();
}

}  // namespace duzavide
