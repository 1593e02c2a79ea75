#include "standins/engine/script_runner.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <utility>

namespace duzavide::standin {
namespace {

constexpr UINT_PTR kScriptTimer = 0x5C01;
constexpr UINT_PTR kAnswerTimer = 0x5C02;
constexpr UINT_PTR kStallTimer = 0x5C03;
constexpr UINT kAnswerTimeoutMs = 20000;
constexpr UINT kStallTickMs = 10;
constexpr char kControlChannel[] = "vur.izir.uzo/vpn";

long long WholeMilliseconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return lines;
  std::string text;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, count);
  fclose(file);
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseNumber(const std::string& text, unsigned long* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = std::strtoul(text.c_str(), nullptr, 10);
  return true;
}

}  // namespace

std::string EncodeHex(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[data[i] >> 4]);
    hex.push_back(kDigits[data[i] & 0x0F]);
  }
  return hex;
}

std::optional<std::vector<uint8_t>> DecodeHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

ScriptRunner::ScriptRunner(Engine* engine, std::wstring script_path, std::wstring transcript_path)
    : engine_(engine),
      script_path_(std::move(script_path)),
      transcript_path_(std::move(transcript_path)) {}

ScriptRunner::~ScriptRunner() {
  *alive_ = false;
  CloseOutPendingCall();
  // The engine ends before the script does (a close, the exit item): the time
  // since the last tick, spent ending it, counts too.
  FinishScript();
  if (view_ != nullptr && IsWindow(view_)) {
    KillTimer(view_, kScriptTimer);
    KillTimer(view_, kAnswerTimer);
  }
  if (transcript_ != nullptr) fclose(transcript_);
}

void ScriptRunner::OnViewCreated(HWND view) { view_ = view; }

void ScriptRunner::OnFrame() {
  if (started_) return;
  started_ = true;
  lines_ = ReadLines(script_path_);
  if (!transcript_path_.empty()) transcript_ = _wfopen(transcript_path_.c_str(), L"ab");
  Schedule(0);
}

void ScriptRunner::OnTimer(UINT_PTR timer_id) {
  switch (timer_id) {
    case kScriptTimer:
      KillTimer(view_, kScriptTimer);
      RunNextCommand();
      break;
    case kAnswerTimer:
      KillTimer(view_, kAnswerTimer);
      CloseOutPendingCall();
      Schedule(0);
      break;
    case kStallTimer:
      MeasureStall();
      break;
    default:
      break;
  }
}

void ScriptRunner::Paint(HDC dc, const RECT& client) {
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  static const wchar_t kText[] = L"Script mode";
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, 12, 12, kText, static_cast<int>(wcslen(kText)));
}

void ScriptRunner::Schedule(UINT delay_ms) { SetTimer(view_, kScriptTimer, delay_ms, nullptr); }

void ScriptRunner::RunNextCommand() {
  while (next_line_ < lines_.size()) {
    size_t line_number = next_line_ + 1;
    std::string line = Trim(lines_[next_line_++]);
    if (line.empty() || line[0] == '#') continue;

    if (!metering_) StartStallMeter();
    std::istringstream words(line);
    std::string command;
    std::string first;
    std::string second;
    words >> command >> first >> second;
    unsigned long number = 0;
    if (command == "call") {
      if (Deliver(kControlChannel, first, line_number)) return;
    } else if (command == "send" && !first.empty()) {
      if (Deliver(first, second, line_number)) return;
    } else if (command == "mark" && !first.empty()) {
      MeasureStall();
      WriteTranscript("stall " + first + " " + std::to_string(WholeMilliseconds(phase_stall_)));
      phase_stall_ = Clock::duration::zero();
      marked_ = true;
    } else if (command == "sleep" && ParseNumber(first, &number)) {
      Schedule(static_cast<UINT>(number));
      return;
    } else if (command == "close") {
      PostMessageW(TopLevelWindow(), WM_CLOSE, 0, 0);
    } else if (command == "minimize" || command == "command") {
      if (command == "command" && !ParseNumber(first, &number)) {
        std::cerr << "script line " << line_number << ": bad command id" << std::endl;
        continue;
      }
      std::weak_ptr<bool> alive = alive_;
      if (command == "minimize") {
        SendMessageW(TopLevelWindow(), WM_SIZE, SIZE_MINIMIZED, 0);
      } else {
        SendMessageW(TopLevelWindow(), WM_COMMAND, static_cast<WPARAM>(number), 0);
      }
      // The host's handler may have ended this engine.
      if (alive.expired() || !*alive.lock()) return;
    } else {
      std::cerr << "script line " << line_number << ": unknown command: " << line << std::endl;
      continue;
    }
    // One command per step: give the loop a turn before the next one.
    Schedule(0);
    return;
  }
  FinishScript();
}

bool ScriptRunner::Deliver(const std::string& channel, const std::string& hex, size_t line_number) {
  std::optional<std::vector<uint8_t>> bytes = DecodeHex(hex);
  if (!bytes) {
    std::cerr << "script line " << line_number << ": bad hex" << std::endl;
    return false;
  }
  awaiting_answer_ = true;
  uint64_t sequence = ++call_sequence_;
  std::weak_ptr<bool> alive = alive_;
  const bool delivered =
      engine_->DeliverToHost(channel, bytes->data(), bytes->size(),
                             [this, alive, sequence](const uint8_t* data, size_t size) {
                               if (alive.expired() || !*alive.lock()) return;
                               if (!awaiting_answer_ || sequence != call_sequence_) return;
                               OnAnswer(data, size);
                             });
  // The host's handler may have ended this engine.
  if (alive.expired() || !*alive.lock()) return true;
  if (!delivered) {
    // Nobody listens on the channel: no answer can come.
    CloseOutPendingCall();
    return false;
  }
  if (!awaiting_answer_) return false;  // answered inside the handler
  SetTimer(view_, kAnswerTimer, kAnswerTimeoutMs, nullptr);
  return true;
}

void ScriptRunner::OnAnswer(const uint8_t* data, size_t size) {
  awaiting_answer_ = false;
  KillTimer(view_, kAnswerTimer);
  WriteTranscript(size == 0 ? "reply" : "reply " + EncodeHex(data, size));
  Schedule(0);
}

void ScriptRunner::CloseOutPendingCall() {
  if (!awaiting_answer_) return;
  awaiting_answer_ = false;
  WriteTranscript("noreply");
}

void ScriptRunner::WriteTranscript(const std::string& line) {
  if (transcript_ == nullptr) return;
  fputs(line.c_str(), transcript_);
  fputc('\n', transcript_);
  fflush(transcript_);
}

void ScriptRunner::StartStallMeter() {
  metering_ = true;
  last_tick_ = Clock::now();
  SetTimer(view_, kStallTimer, kStallTickMs, nullptr);
}

void ScriptRunner::MeasureStall() {
  if (!metering_ || finished_) return;
  const Clock::time_point now = Clock::now();
  const Clock::duration interval = now - last_tick_;
  last_tick_ = now;
  if (interval > max_stall_) max_stall_ = interval;
  if (interval > phase_stall_) phase_stall_ = interval;
}

void ScriptRunner::FinishScript() {
  if (!started_ || finished_) return;
  MeasureStall();
  finished_ = true;
  if (view_ != nullptr && IsWindow(view_)) KillTimer(view_, kStallTimer);
  if (marked_) WriteTranscript("stall end " + std::to_string(WholeMilliseconds(phase_stall_)));
  WriteTranscript("max-stall " + std::to_string(WholeMilliseconds(max_stall_)));
}

HWND ScriptRunner::TopLevelWindow() const { return GetAncestor(view_, GA_ROOT); }

}  // namespace duzavide::standin
