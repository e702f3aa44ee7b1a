// The clock window: a tiny captioned window showing the corrected time and
// date. Its one-second timer is the program's main loop: it starts the
// automatic polls. Its start-up opens the network side.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "framework/Dialog.h"
#include "net/PollPlan.h"
#include "net/StepWatch.h"

class CSocket;
class CWinsockInit;
class ReceiveThread;
struct AppState;

class CClockDlg : public CDialog {
public:
    CClockDlg(AppState& state, CSocket& socket, CWinsockInit& winsock);
    ~CClockDlg() override;

    // Topmost when alwaysOnTop is on, otherwise the top of the ordinary
    // windows. Applied after the settings dialog closes.
    void applyZOrder();

protected:
    bool onInitDialog() override;
    bool onSysCommand(UINT command) override;
    void onTimer(UINT_PTR id) override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void extendSystemMenu();
    void openNetwork();
    void tick();
    void timeChanged();
    void paintIcon();
    void openSettings();
    void askTimeService();

    AppState& state_;
    CSocket& socket_;
    CWinsockInit& winsock_;
    HICON icon_;
    std::string zoneName_;
    StepWatch steps_;
    PollPlan polls_;
    std::unique_ptr<ReceiveThread> receiver_;
    std::optional<std::int64_t> lastServiceAskMs_;  // platform::sinceBootMs() of the last ask sent
};
