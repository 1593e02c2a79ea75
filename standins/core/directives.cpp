#include "standins/core/directives.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <sstream>
#include <thread>

#include "standins/core/core_output.h"

namespace duzavide::standin {
namespace {

bool ParseNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  try {
    size_t used = 0;
    *value = std::stoll(text, &used, 0);
    return used == text.size();
  } catch (...) {
    return false;
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void ExitNow(int code) {
  // Output is written unbuffered, so nothing is lost by skipping the runtime's
  // shutdown; the listener and pinger threads just vanish with the process.
  ::ExitProcess(static_cast<UINT>(code));
}

void SpawnChild(const std::wstring& self_path, unsigned long lifetime_ms) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE self = ::GetCurrentProcess();
  HANDLE out = nullptr;
  HANDLE err = nullptr;
  ::DuplicateHandle(self, ::GetStdHandle(STD_OUTPUT_HANDLE), self, &out, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
  ::DuplicateHandle(self, ::GetStdHandle(STD_ERROR_HANDLE), self, &err, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::wstring command = L"\"" + self_path + L"\" standin-child " + std::to_wstring(lifetime_ms);
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(self_path.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &info)) {
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
  } else {
    WriteStderr("standin-core: could not spawn the child\n");
  }
  if (out != nullptr) ::CloseHandle(out);
  if (err != nullptr) ::CloseHandle(err);
}

// Writes `total` bytes of numbered text lines, a large block per write, so the
// pipe is kept full for as long as it lasts.
void Flood(unsigned long long total) {
  constexpr size_t kBlock = 64 * 1024;
  std::string block;
  block.reserve(kBlock + 64);
  unsigned long long line = 0;
  unsigned long long written = 0;
  while (written < total) {
    block.clear();
    while (block.size() < kBlock) {
      block += "standin-flood line " + std::to_string(++line) +
               " the quick brown fox jumps over the lazy dog\n";
    }
    const unsigned long long left = total - written;
    if (block.size() > left) block.resize(static_cast<size_t>(left));
    WriteStdout(block);
    written += block.size();
  }
}

// One line "standin-env NAME=value" for each variable whose name begins with
// `prefix`, compared without regard to case, in the order of the block.
std::string EnvironmentLines(const std::string& prefix) {
  wchar_t* block = ::GetEnvironmentStringsW();
  std::string lines;
  for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    std::string text;
    for (const wchar_t* c = entry; *c != L'\0'; ++c) text += static_cast<char>(*c);  // ASCII
    if (text.size() >= prefix.size() &&
        _strnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0) {
      lines += "standin-env " + text + "\n";
    }
  }
  if (block != nullptr) ::FreeEnvironmentStringsW(block);
  return lines;
}

}  // namespace

std::string UnescapeC(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out.push_back(c);
      continue;
    }
    char e = text[++i];
    switch (e) {
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'x': {
        int value = 0;
        int digits = 0;
        while (digits < 2 && i + 1 < text.size() && HexDigit(text[i + 1]) >= 0) {
          value = value * 16 + HexDigit(text[++i]);
          ++digits;
        }
        if (digits == 0) {
          out += "\\x";
        } else {
          out.push_back(static_cast<char>(value));
        }
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          int value = e - '0';
          for (int digits = 1;
               digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
               ++digits) {
            value = value * 8 + (text[++i] - '0');
          }
          out.push_back(static_cast<char>(value));
        } else {
          out.push_back(e);  // \\ \" \' and anything unknown stand for themselves
        }
    }
  }
  return out;
}

bool ParseDirectives(const std::string& text, std::vector<Directive>* directives,
                     std::string* error) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t space = line.find(' ');
    std::string word = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    std::istringstream fields(rest);
    std::string a;
    std::string b;
    fields >> a >> b;
    long long x = 0;
    long long y = 0;
    Directive directive;
    bool ok = true;
    if (word == "exit") {
      directive.kind = Directive::Kind::kExit;
      ok = ParseNumber(a, &x) && b.empty();
      directive.exit_code = static_cast<int>(x);
    } else if (word == "exit-after") {
      directive.kind = Directive::Kind::kExitAfter;
      ok = ParseNumber(a, &x) && x >= 0 && ParseNumber(b, &y);
      directive.delay_ms = static_cast<unsigned long>(x);
      directive.exit_code = static_cast<int>(y);
    } else if (word == "exit-at-start") {
      directive.kind = Directive::Kind::kExitAtStart;
      ok = ParseNumber(a, &x) && b.empty();
      directive.exit_code = static_cast<int>(x);
    } else if (word == "flood") {
      directive.kind = Directive::Kind::kFlood;
      ok = ParseNumber(a, &x) && x >= 0 && b.empty();
      directive.flood_bytes = static_cast<unsigned long long>(x);
    } else if (word == "print") {
      directive.kind = Directive::Kind::kPrint;
      directive.bytes = UnescapeC(rest);
    } else if (word == "print-bytes") {
      directive.kind = Directive::Kind::kPrintBytes;
      ok = ParseNumber(a, &x) && x >= 0 && x <= (64 << 20);
      if (ok && b.size() == 1 && (b[0] < '0' || b[0] > '9')) {
        y = static_cast<unsigned char>(b[0]);
      } else {
        ok = ok && ParseNumber(b, &y) && y >= 0 && y <= 255;
      }
      if (ok) directive.bytes.assign(static_cast<size_t>(x), static_cast<char>(y));
    } else if (word == "print-env") {
      // The environment does not change while the core runs: printed as text.
      directive.kind = Directive::Kind::kPrint;
      directive.bytes = EnvironmentLines(a);
      ok = !a.empty() && b.empty();
    } else if (word == "spawn-child") {
      directive.kind = Directive::Kind::kSpawnChild;
      ok = rest.empty();
    } else {
      ok = false;
    }
    if (!ok) {
      *error = "standin-core.txt line " + std::to_string(number) + ": cannot use \"" + line + "\"";
      return false;
    }
    directives->push_back(std::move(directive));
  }
  return true;
}

bool FindExitAtStart(const std::vector<Directive>& directives, int* exit_code) {
  for (const Directive& directive : directives) {
    if (directive.kind == Directive::Kind::kExitAtStart) {
      *exit_code = directive.exit_code;
      return true;
    }
  }
  return false;
}

void RunDirectives(const std::vector<Directive>& directives, const std::wstring& self_path,
                   unsigned long child_lifetime_ms) {
  for (const Directive& directive : directives) {
    switch (directive.kind) {
      case Directive::Kind::kExit:
        ExitNow(directive.exit_code);
        break;
      case Directive::Kind::kExitAfter: {
        unsigned long delay = directive.delay_ms;
        int code = directive.exit_code;
        std::thread([delay, code] {
          ::Sleep(delay);
          ExitNow(code);
        }).detach();
        break;
      }
      case Directive::Kind::kExitAtStart:
        break;
      case Directive::Kind::kPrint:
      case Directive::Kind::kPrintBytes:
        WriteStdout(directive.bytes);
        break;
      case Directive::Kind::kFlood:
        Flood(directive.flood_bytes);
        break;
      case Directive::Kind::kSpawnChild:
        SpawnChild(self_path, child_lifetime_ms);
        break;
    }
  }
}

}  // namespace duzavide::standin
