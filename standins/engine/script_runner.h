// Script mode of the stand-in application: runs a command file against the host,
// one command per step, from the view's timers, so the message loop never blocks.
// Like the real interface it awaits each answer: a call or send holds the script
// until its answer arrives, at most 20 s.
//
// Commands (one per line; blank lines and lines starting with '#' are skipped):
//   call <hex>            deliver the bytes on the control channel
//   send <channel> <hex>  deliver the bytes on another channel
//   sleep <ms>            keep the loop running that long before the next command
//   close                 post WM_CLOSE to the view's top-level window
//   minimize              send it WM_SIZE with SIZE_MINIMIZED
//   command <id>          send it WM_COMMAND with that identifier
//   mark <label>          transcript line "stall <label> <ms>": the longest stall
//                         since the previous mark (or the first command); a
//                         script that marks gets "stall end <ms>" for the rest
// For each call and send one transcript line is appended and flushed when the
// answer arrives: "reply <hex>" (lowercase, no separators), "reply" for an empty
// answer, or "noreply" when none came within 20 s, nobody listens on the channel,
// or the engine ended first.
//
// Stall meter: from the first command until the script ends (or the engine ends)
// a ~10 ms timer ticks on the platform thread; the longest interval between two
// ticks, in whole milliseconds, is the transcript's last line, "max-stall <ms>".
#ifndef STANDINS_ENGINE_SCRIPT_RUNNER_H_
#define STANDINS_ENGINE_SCRIPT_RUNNER_H_

#include <windows.h>

#include <chrono>
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
  using Clock = std::chrono::steady_clock;

  void Schedule(UINT delay_ms);
  void RunNextCommand();
  // True when the script must wait for the answer before going on.
  bool Deliver(const std::string& channel, const std::string& hex, size_t line_number);
  void OnAnswer(const uint8_t* data, size_t size);
  void CloseOutPendingCall();
  void StartStallMeter();
  // Counts the time since the last tick as one interval.
  void MeasureStall();
  void FinishScript();
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
  bool metering_ = false;
  bool finished_ = false;
  bool marked_ = false;
  Clock::time_point last_tick_;
  Clock::duration max_stall_{};
  Clock::duration phase_stall_{};
  // Cleared on destruction; checked after sending to the host's window, whose
  // handler may end this engine.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_SCRIPT_RUNNER_H_
