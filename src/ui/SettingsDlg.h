// The settings dialog: the time server and the list it is chosen from, the
// port, the poll period and the three options, the last response and the
// correction, Ping Now and the system's own date and time panel.
#pragma once
#include <cstdint>
#include <string>

#include "framework/BalloonTip.h"
#include "framework/Dialog.h"
#include "ui/SettingsRules.h"

class CSocket;
struct AppState;

class CSettingsDlg : public CDialog {
public:
    CSettingsDlg(AppState& state, CSocket& socket);
    ~CSettingsDlg() override;

    // Shows the state after a reply. Runs on the user-interface thread; the
    // poll-period clamp answers it as it answers the user's edits. When the
    // reply's setting of the system clock was refused, says so at "Set
    // System Clock", or there, while the Marivel Time Service runs, that
    // it keeps the clock set; when the server refused to serve us, at the
    // server.
    void refresh();
    // At each tick of the clock: tells at the port when the server has not
    // answered the latest request in 10 s, or its name was not found, until
    // an answer comes.
    void watchRequest();

protected:
    bool onInitDialog() override;
    bool onCommand(int code, int id) override;
    bool onButtonClicked(int id) override;
    void onTimer(UINT_PTR id) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void doDataExchange(CDataExchange& dx) override;
    void onOk() override;
    void onCancel() override;

private:
    void clampPollPeriod();
    void deleteSelectedServer();
    void pingNow();
    void unregister();
    void fitLastResponse();
    RECT placeOf(HWND child) const;  // in the dialog's client coordinates
    void noticeRefusedSetting();
    void noticeRefusedServer();
    void showForAWhile(CBalloonTip& notice, UINT_PTR timer, int control, const std::string& title,
                       const std::string& text);

    AppState& state_;
    CSocket& socket_;

    // The state while the dialog is open.
    std::uint32_t pollPeriod_ = 0;
    std::int32_t alwaysOnTop_ = 0;
    std::int32_t setSystemClock_ = 0;
    std::string lastResponse_;
    std::string port_;
    std::int32_t hourDisplay24_ = 0;
    std::string timeServer_;

    CBalloonTip refusedSettingNotice_;
    CBalloonTip refusedServerNotice_;
    // At the Port: the latest request got no answer, or its name was not
    // found; shown once for each request and kind.
    CBalloonTip requestNotice_;
    std::uint32_t requestNoticeSerial_ = 0;
    RequestNoticeKind requestNoticeKind_ = RequestNoticeKind::None;
};
