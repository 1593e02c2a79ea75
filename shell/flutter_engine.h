// One running Flutter application and its messenger.
//
// Owns the engine handle until ReleaseEngineOwnership hands it to a view
// controller; from then on only the controller ends the engine, and this object's
// destructor merely drops the messenger. The messenger object lives exactly as long
// as this object, so callbacks registered through it must not outlive it: destroy
// the engine (through its controller) before destroying this object.
// Main thread only.
#ifndef SHELL_FLUTTER_ENGINE_H_
#define SHELL_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "channel/binary_messenger.h"
#include "channel/binary_messenger_impl.h"
#include "channel/engine_api/flutter_windows.h"
#include "shell/engine_project.h"
#include "shell/plugin_registry.h"

namespace duzavide {

class FlutterEngine : public PluginRegistry {
 public:
  // Creates the engine from `project`. When the library cannot create it the handle
  // stays null, nothing else is asked of the library, GetMessenger() is null and a
  // view controller built on this engine fails in turn.
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  // Writes a diagnostic and returns null when there is no engine.
  FlutterDesktopPluginRegistrarRef GetPluginRegistrar(const std::string& plugin_name) override;

  // The engine's messenger; lives as long as this object. Null when the engine could
  // not be created.
  BinaryMessenger* GetMessenger() const { return messenger_.get(); }

  // Hands the engine handle over (null when there is none): this object will no
  // longer destroy the engine.
  FlutterDesktopEngineRef ReleaseEngineOwnership();

  void ReloadSystemFonts();

  // Runs `callback` once, after the next frame; replaces an earlier, unfired one.
  void SetNextFrameCallback(std::function<void()> callback);

 private:
  static void OnNextFrame(void* user_data);

  FlutterDesktopEngineRef engine_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace duzavide

#endif  // SHELL_FLUTTER_ENGINE_H_
