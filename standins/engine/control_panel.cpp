#include "standins/engine/control_panel.h"

#include <cstdlib>
#include <utility>
#include <variant>
#include <vector>

#include "standins/engine/control_panel_ids.h"
#include "standins/engine/view_controller.h"

namespace duzavide::standin {
namespace {

using namespace control_panel_ids;  // NOLINT(build/namespaces)

constexpr UINT_PTR kPollTimer = 0x5C02;
constexpr int kMaxLogChars = 200000;
constexpr COLORREF kBackground = RGB(246, 247, 249);
constexpr COLORREF kTitleColor = RGB(32, 64, 128);

constexpr const wchar_t* kFieldLabels[] = {L"Share link",        L"Private key",   L"Address",
                                           L"Server public key", L"Relay address", L"Relay port"};

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(size > 0 ? size : 0, L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  }
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string utf8(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  }
  return utf8;
}

// The edit control wants CR LF line ends.
std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out.push_back(L'\r');
    out.push_back(text[i]);
  }
  return out;
}

int64_t IntegerOf(const EncodableValue& value) {
  if (const auto* small = std::get_if<int32_t>(&value)) return *small;
  if (const auto* large = std::get_if<int64_t>(&value)) return *large;
  return 0;
}

std::wstring FormatBytes(int64_t bytes) {
  const wchar_t* units[] = {L"B", L"KiB", L"MiB", L"GiB", L"TiB"};
  double amount = static_cast<double>(bytes);
  int unit = 0;
  while (amount >= 1024.0 && unit < 4) {
    amount /= 1024.0;
    ++unit;
  }
  wchar_t text[64];
  swprintf(text, 64, unit == 0 ? L"%.0f %ls" : L"%.1f %ls", amount, units[unit]);
  return text;
}

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static auto get_dpi = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  UINT dpi = get_dpi != nullptr ? get_dpi(window) : 0;
  return dpi != 0 ? dpi : MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

}  // namespace

ControlPanel::ControlPanel(Engine* engine)
    : client_(engine),
      background_(CreateSolidBrush(kBackground)),
      log_background_(CreateSolidBrush(RGB(255, 255, 255))) {}

ControlPanel::~ControlPanel() {
  *alive_ = false;
  if (view_ != nullptr && IsWindow(view_)) KillTimer(view_, kPollTimer);
  // The controls go with the view; only the GDI objects are ours to free.
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(title_font_),
                         static_cast<HGDIOBJ>(log_font_), static_cast<HGDIOBJ>(background_),
                         static_cast<HGDIOBJ>(log_background_)}) {
    if (object != nullptr) DeleteObject(object);
  }
}

void ControlPanel::OnViewCreated(HWND view) {
  view_ = view;
  HINSTANCE instance = LibraryInstance();
  auto make = [&](const wchar_t* type, const wchar_t* text, DWORD style, DWORD ex_style, int id) {
    return CreateWindowExW(ex_style, type, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, view_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  for (int i = 0; i < kFields; ++i) {
    labels_[i] = make(L"STATIC", kFieldLabels[i], SS_LEFT | SS_CENTERIMAGE, 0, 0);
    edits_[i] = make(L"EDIT", i == kRelayPort ? L"51821" : L"",
                     WS_TABSTOP | ES_AUTOHSCROLL | (i == kRelayPort ? ES_NUMBER : 0),
                     WS_EX_CLIENTEDGE, kFirstFieldId + i);
  }
  connect_button_ = make(L"BUTTON", L"Connect", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kConnectId);
  disconnect_button_ = make(L"BUTTON", L"Disconnect", WS_TABSTOP | BS_PUSHBUTTON, 0, kDisconnectId);
  status_ = make(L"STATIC", L"Status: waiting for the host", SS_LEFT, 0, kStatusId);
  stats_ = make(L"STATIC", L"Downloaded: 0 B    Uploaded: 0 B", SS_LEFT, 0, kStatsId);
  log_label_ = make(L"STATIC", L"Log", SS_LEFT, 0, 0);
  log_ =
      make(L"EDIT", L"",
           WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
           WS_EX_CLIENTEDGE, kLogId);
  SendMessageW(log_, EM_SETLIMITTEXT, 0, 0);
  CreateFonts();
  Layout();
  SetTimer(view_, kPollTimer, 1000, nullptr);
}

void ControlPanel::CreateFonts() {
  UINT dpi = WindowDpi(view_);
  if (dpi == font_dpi_ && font_ != nullptr) return;
  font_dpi_ = dpi;
  for (HFONT* font : {&font_, &title_font_, &log_font_}) {
    if (*font != nullptr) DeleteObject(*font);
  }
  auto make_font = [dpi](int points, int weight, const wchar_t* face) {
    return CreateFontW(-MulDiv(points, static_cast<int>(dpi), 72), 0, 0, 0, weight, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
  };
  font_ = make_font(10, FW_NORMAL, L"Segoe UI");
  title_font_ = make_font(15, FW_SEMIBOLD, L"Segoe UI");
  log_font_ = make_font(9, FW_NORMAL, L"Consolas");
  for (HWND child = GetWindow(view_, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(child == log_ ? log_font_ : font_),
                 TRUE);
  }
}

double ControlPanel::Scale() const { return WindowDpi(view_) / 96.0; }

void ControlPanel::Layout() {
  if (view_ == nullptr) return;
  RECT client;
  GetClientRect(view_, &client);
  double scale = Scale();
  auto px = [scale](int logical) { return static_cast<int>(logical * scale); };
  int margin = px(20);
  int width = client.right - margin * 2;
  int label_width = px(130);
  int row = px(25);
  int y = px(72);
  for (int i = 0; i < kFields; ++i) {
    MoveWindow(labels_[i], margin, y, label_width, row, TRUE);
    int edit_width = i == kRelayPort ? px(100) : width - label_width;
    MoveWindow(edits_[i], margin + label_width, y, edit_width, row, TRUE);
    y += row + px(11);
  }
  y += px(4);
  MoveWindow(connect_button_, margin + label_width, y, px(120), px(32), TRUE);
  MoveWindow(disconnect_button_, margin + label_width + px(132), y, px(120), px(32), TRUE);
  y += px(48);
  MoveWindow(status_, margin, y, width, px(22), TRUE);
  y += px(26);
  MoveWindow(stats_, margin, y, width, px(22), TRUE);
  y += px(34);
  MoveWindow(log_label_, margin, y, width, px(22), TRUE);
  y += px(24);
  MoveWindow(log_, margin, y, width,
             (std::max)(px(40), static_cast<int>(client.bottom) - y - margin), TRUE);
  InvalidateRect(view_, nullptr, TRUE);
}

void ControlPanel::OnSize(int, int) {
  CreateFonts();
  Layout();
}

void ControlPanel::OnFontsChanged() {
  font_dpi_ = 0;
  CreateFonts();
  Layout();
}

void ControlPanel::Paint(HDC dc, const RECT& client) {
  FillRect(dc, &client, background_);
  double scale = Scale();
  HGDIOBJ old_font = SelectObject(dc, title_font_);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kTitleColor);
  static const wchar_t kTitle[] = L"Duzavide Connect";
  TextOutW(dc, static_cast<int>(20 * scale), static_cast<int>(14 * scale), kTitle,
           static_cast<int>(wcslen(kTitle)));
  SelectObject(dc, font_);
  SetTextColor(dc, RGB(96, 96, 96));
  static const wchar_t kSubtitle[] = L"Stand-in engine control panel";
  TextOutW(dc, static_cast<int>(20 * scale), static_cast<int>(42 * scale), kSubtitle,
           static_cast<int>(wcslen(kSubtitle)));
  SelectObject(dc, old_font);
}

HBRUSH ControlPanel::OnControlColor(HDC dc, HWND control) {
  if (control == log_) {
    SetBkColor(dc, RGB(255, 255, 255));
    return log_background_;
  }
  SetBkColor(dc, kBackground);
  SetTextColor(dc, control == status_ ? kTitleColor : RGB(0, 0, 0));
  return background_;
}

void ControlPanel::OnTimer(UINT_PTR timer_id) {
  if (timer_id == kPollTimer) Poll();
}

void ControlPanel::OnCommand(WPARAM wparam, LPARAM) {
  if (HIWORD(wparam) != BN_CLICKED) return;
  if (LOWORD(wparam) == kConnectId) Connect();
  if (LOWORD(wparam) == kDisconnectId) Disconnect();
}

void ControlPanel::Poll() {
  std::weak_ptr<bool> alive = alive_;
  bool reached = client_.Call("isConnected", nullptr, [this, alive](const EncodableValue* value) {
    if (alive.expired()) return;
    const bool* connected = value != nullptr ? std::get_if<bool>(value) : nullptr;
    std::wstring state =
        connected == nullptr ? L"unknown" : (*connected ? L"connected" : L"disconnected");
    SetStatus(L"Status: " + state + (last_action_.empty() ? L"" : L"    (" + last_action_ + L")"));
  });
  if (!reached) {
    SetStatus(L"Status: waiting for the host");
    return;
  }
  client_.Call("getLog", nullptr, [this, alive](const EncodableValue* value) {
    if (alive.expired() || value == nullptr) return;
    if (const auto* text = std::get_if<std::string>(value)) AppendLog(*text);
  });
  client_.Call("getStats", nullptr, [this, alive](const EncodableValue* value) {
    if (alive.expired() || value == nullptr) return;
    const auto* map = std::get_if<EncodableMap>(value);
    if (map == nullptr) return;
    int64_t down = 0;
    int64_t up = 0;
    if (auto found = map->find(EncodableValue("downlinkBytes")); found != map->end()) {
      down = IntegerOf(found->second);
    }
    if (auto found = map->find(EncodableValue("uplinkBytes")); found != map->end()) {
      up = IntegerOf(found->second);
    }
    SetWindowTextW(
        stats_,
        (L"Downloaded: " + FormatBytes(down) + L"    Uploaded: " + FormatBytes(up)).c_str());
  });
}

std::string ControlPanel::FieldText(Field field) const {
  int length = GetWindowTextLengthW(edits_[field]);
  std::wstring text(length + 1, L'\0');
  text.resize(GetWindowTextW(edits_[field], text.data(), length + 1));
  return WideToUtf8(text);
}

std::unique_ptr<EncodableValue> ControlPanel::ConnectArguments() const {
  EncodableMap wireguard = {
      {EncodableValue("private_key"), EncodableValue(FieldText(kPrivateKey))},
      {EncodableValue("address"), EncodableValue(FieldText(kAddress))},
      {EncodableValue("server_public_key"), EncodableValue(FieldText(kServerKey))},
      {EncodableValue("relay_address"), EncodableValue(FieldText(kRelayAddress))},
  };
  std::string port = FieldText(kRelayPort);
  if (!port.empty()) {
    wireguard[EncodableValue("relay_port")] =
        EncodableValue(static_cast<int32_t>(std::strtol(port.c_str(), nullptr, 10)));
  }
  EncodableMap arguments = {
      {EncodableValue("vlessUrl"), EncodableValue(FieldText(kShareLink))},
      {EncodableValue("wireguard"), EncodableValue(std::move(wireguard))},
  };
  return std::make_unique<EncodableValue>(std::move(arguments));
}

void ControlPanel::Connect() {
  SetStatus(L"Status: connecting...");
  UpdateWindow(status_);
  std::weak_ptr<bool> alive = alive_;
  client_.Call(
      "connect", ConnectArguments(),
      [this, alive](const EncodableValue* value) {
        if (alive.expired()) return;
        const bool* ok = value != nullptr ? std::get_if<bool>(value) : nullptr;
        last_action_ = ok != nullptr && *ok ? L"connect succeeded" : L"connect failed";
        SetStatus(L"Status: " + last_action_);
      },
      [this, alive](const std::string& description) {
        if (!alive.expired()) SetStatus(L"Status: " + Utf8ToWide(description));
      });
}

void ControlPanel::Disconnect() {
  std::weak_ptr<bool> alive = alive_;
  client_.Call("disconnect", nullptr, [this, alive](const EncodableValue*) {
    if (alive.expired()) return;
    last_action_ = L"disconnected";
    SetStatus(L"Status: disconnected");
  });
}

void ControlPanel::SetStatus(const std::wstring& text) { SetWindowTextW(status_, text.c_str()); }

void ControlPanel::AppendLog(const std::string& utf8) {
  if (utf8.empty()) return;
  std::wstring text = WithCrLf(Utf8ToWide(utf8));
  int length = GetWindowTextLengthW(log_);
  if (length + static_cast<int>(text.size()) > kMaxLogChars) {
    // Keep the pane bounded: drop the oldest half.
    SendMessageW(log_, EM_SETSEL, 0, length / 2);
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    length = GetWindowTextLengthW(log_);
  }
  SendMessageW(log_, EM_SETSEL, length, length);
  SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace duzavide::standin
