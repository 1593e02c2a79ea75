// Script mode of the stand-in application: runs a command file against the host,
// one command per step, from the view's timers, so the message loop never blocks.
//
// Commands (one per line; blank lines and lines starting with '#' are skipped):
//   call <hex>            deliver the bytes on the control channel
//   send <channel> <hex>  deliver the bytes on another channel
//   sleep <ms>            keep the loop running that long before the next command
//   close                 post WM_CLOSE to the view's top-level window
//   minimize              send it WM_SIZE with SIZE_MINIMIZED
//   command <id>          send it WM_COMMAND with that identifier
// For each call and send one transcript line is appended and flushed: "reply <hex>"
// (lowercase, no separators), "reply" for an empty answer, or "noreply" when no
// answer came before the next command ran (or before the engine ended).
#ifndef STANDINS_ENGINE_SCRIPT_RUNNER_H_
#define STANDINS_ENGINE_SCRIPT_RUNNER_H_

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standins/engine/application.h"
#include "standins/engine/engine.h"

namespace duzavide::standin {

// Lowercase hex of `size` bytes.
std::string EncodeHex(const uint8_t* data, size_t size);
// Bytes of a hex text (either case, even length); nullopt when malformed.
std::optional<std::vector<uint8_t>> DecodeHex(const std::string& text);

class ScriptRunner : public Application {
 public:
  ScriptRunner(Engine* engine, std::wstring script_path, std::wstring transcript_path);
  ~ScriptRunner() override;

  void OnViewCreated(HWND view) override;
  void OnFrame() override;
  void OnTimer(UINT_PTR timer_id) override;
  void Paint(HDC dc, const RECT& client) override;

 private:
  void Schedule(UINT delay_ms);
  void RunNextCommand();
  void Deliver(const std::string& channel, const std::string& hex, size_t line_number);
  void CloseOutPendingCall();
  void WriteTranscript(const std::string& line);
  HWND TopLevelWindow() const;

  Engine* engine_;
  std::wstring script_path_;
  std::wstring transcript_path_;
  HWND view_ = nullptr;
  bool started_ = false;
  std::vector<std::string> lines_;
  size_t next_line_ = 0;
  // The call whose answer is awaited; answers to older calls are ignored.
  bool awaiting_answer_ = false;
  uint64_t call_sequence_ = 0;
  FILE* transcript_ = nullptr;
  // Cleared on destruction; checked after sending to the host's window, whose
  // handler may end this engine.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_SCRIPT_RUNNER_H_
