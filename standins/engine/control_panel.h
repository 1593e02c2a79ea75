// The stand-in application's default mode: a small native panel in the view for a
// person running the host without the real interface. Fields for the connection
// settings, Connect and Disconnect buttons, a status line polled from
// "isConnected", the traffic figures from "getStats" and a log pane fed by "getLog"
// (all polled once a second). Everything goes through the control channel's bytes.
#ifndef STANDINS_ENGINE_CONTROL_PANEL_H_
#define STANDINS_ENGINE_CONTROL_PANEL_H_

#include <windows.h>

#include <memory>
#include <string>

#include "channel/encodable_value.h"
#include "standins/engine/application.h"
#include "standins/engine/control_channel_client.h"
#include "standins/engine/engine.h"

namespace duzavide::standin {

class ControlPanel : public Application {
 public:
  explicit ControlPanel(Engine* engine);
  ~ControlPanel() override;

  void OnViewCreated(HWND view) override;
  void OnTimer(UINT_PTR timer_id) override;
  void OnCommand(WPARAM wparam, LPARAM lparam) override;
  void OnSize(int width, int height) override;
  void OnFontsChanged() override;
  void Paint(HDC dc, const RECT& client) override;
  HBRUSH OnControlColor(HDC dc, HWND control) override;

 private:
  enum Field { kShareLink, kPrivateKey, kAddress, kServerKey, kRelayAddress, kRelayPort, kFields };

  void CreateFonts();
  void Layout();
  double Scale() const;
  void Poll();
  void Connect();
  void Disconnect();
  void SetStatus(const std::wstring& text);
  void AppendLog(const std::string& utf8);
  std::string FieldText(Field field) const;
  std::unique_ptr<EncodableValue> ConnectArguments() const;

  ControlChannelClient client_;
  HWND view_ = nullptr;
  HWND labels_[kFields] = {};
  HWND edits_[kFields] = {};
  HWND connect_button_ = nullptr;
  HWND disconnect_button_ = nullptr;
  HWND status_ = nullptr;
  HWND stats_ = nullptr;
  HWND log_label_ = nullptr;
  HWND log_ = nullptr;
  HFONT font_ = nullptr;
  HFONT title_font_ = nullptr;
  HFONT log_font_ = nullptr;
  UINT font_dpi_ = 0;
  HBRUSH background_ = nullptr;
  HBRUSH log_background_ = nullptr;
  std::wstring last_action_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace duzavide::standin

#endif  // STANDINS_ENGINE_CONTROL_PANEL_H_
