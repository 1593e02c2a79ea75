// Control identifiers of the stand-in control panel, for finding its controls
// (GetDlgItem on the view window), e.g. from tests.
#ifndef STANDINS_ENGINE_CONTROL_PANEL_IDS_H_
#define STANDINS_ENGINE_CONTROL_PANEL_IDS_H_

namespace duzavide::standin::control_panel_ids {

constexpr int kConnectId = 1001;
constexpr int kDisconnectId = 1002;
// Share link, private key, address, server public key, relay address, relay port.
constexpr int kFirstFieldId = 2000;
constexpr int kStatusId = 3001;
constexpr int kStatsId = 3002;
constexpr int kLogId = 3003;

}  // namespace duzavide::standin::control_panel_ids

#endif  // STANDINS_ENGINE_CONTROL_PANEL_IDS_H_
