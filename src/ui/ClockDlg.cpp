#include "ui/ClockDlg.h"

#include <cstdlib>

#include "errors/Exceptions.h"
#include "framework/WinApp.h"
#include "net/PollPlan.h"
#include "net/Receive.h"
#include "net/Request.h"
#include "net/Socket.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "link/ServiceLink.h"
#include "platform/win32/Owned.h"
#include "settings/AppState.h"
#include "ui/ClockFace.h"
#include "ui/SettingsDlg.h"
#include "ui/SettingsRules.h"
#include "ui/resource.h"

namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 1000;  // until the first tick chooses its phase
// Posted by the receiving thread after each reply it handled.
constexpr UINT kReplyMessage = WM_APP + 1;

// Runs one start-up step until it works, or the user ignores or aborts it.
template <typename Step>
void retryStep(Step step) {
    for (;;) {
        try {
            step();
            return;
        } catch (CSocketException exc) {
            int answer = showRetryPrompt("", exc);
            if (answer == platform::kResultAbort) std::exit(-1);  // nothing is saved
            if (answer == platform::kResultIgnore) return;
        }
    }
}

}  // namespace

CClockDlg::CClockDlg(AppState& state, CSocket& socket, CWinsockInit& winsock)
    : CDialog(IDD_CLOCK),
      state_(state),
      socket_(socket),
      winsock_(winsock),
      icon_(LoadIconA(CWinApp::current()->instance(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

// Defined here, where ReceiveThread is a complete type.
CClockDlg::~CClockDlg() = default;

bool CClockDlg::onInitDialog() {
    extendSystemMenu();
    CWindow window(handle());
    window.setIcon(ICON_BIG, icon_);
    window.setIcon(ICON_SMALL, icon_);
    openNetwork();
    // The settings dialog is refreshed here, on the user-interface thread,
    // so that a refresh can never overlap the dialog's closing.
    receiver_ = std::make_unique<ReceiveThread>(state_, socket_, [window = handle()] {
        PostMessageA(window, kReplyMessage, 0, 0);
    });
    receiver_->start();
    zoneName_ = standardZoneName(std::getenv("TZ"));
    SetTimer(handle(), kTickTimer, kTickMs, nullptr);
    return true;
}

void CClockDlg::extendSystemMenu() {
    HMENU menu = GetSystemMenu(handle(), FALSE);
    if (menu == nullptr) return;
    // Size, then Maximize: the window has one size.
    DeleteMenu(menu, 2, MF_BYPOSITION);
    DeleteMenu(menu, 3, MF_BYPOSITION);
    const CWinApp& app = *CWinApp::current();
    std::string about = app.loadString(IDS_ABOUT_COMMAND);
    if (about.empty()) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, about.c_str());
    AppendMenuA(menu, MF_STRING, IDM_PING, app.loadString(IDS_PING_COMMAND).c_str());
    AppendMenuA(menu, MF_STRING, IDM_SETTINGS, app.loadString(IDS_SETTINGS_COMMAND).c_str());
}

void CClockDlg::openNetwork() {
    retryStep([this] { winsock_.startup(); });
    retryStep([this] { socket_.init(); });
    retryStep([this] { socket_.bindAny(); });
}

bool CClockDlg::onSysCommand(UINT command) {
    switch (command) {
        case IDM_ABOUT:
            CDialog(IDD_ABOUT).doModal();
            return true;
        case IDM_PING:
            startRequest(state_, socket_);
            return true;
        case IDM_SETTINGS:
            openSettings();
            return true;
        default:
            return false;
    }
}

// Windows refused the clock's own setting: where the Marivel Time Service
// runs, it sets the clock in the clock's place. Code 128 asks it to
// synchronise now; it carries no time and no server.
void CClockDlg::askTimeService() {
    std::int64_t now = platform::sinceBootMs();
    if (!asksTimeService(state_.lastClockSetting, state_.correction, lastServiceAskMs_, now)) return;
    if (service::isServiceRunning() && service::askServiceNow()) lastServiceAskMs_ = now;
}

// Any timer: the clock has one.
void CClockDlg::onTimer(UINT_PTR) { tick(); }

bool CClockDlg::onMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
        case WM_TIMECHANGE:
            timeChanged();
            return true;
        case WM_POWERBROADCAST:
            // After sleep or hibernation the clock may be off by what the
            // hardware clock drifted meanwhile.
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMECRITICAL)
                steps_.resumed();
            return false;
        case WM_PAINT:
            if (!IsIconic(handle())) return false;
            paintIcon();
            return true;
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<INT_PTR>(icon_);
            return true;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            openSettings();
            return false;
        case kReplyMessage:
            askTimeService();
            if (state_.openSettingsDlg != nullptr) state_.openSettingsDlg->refresh();
            return true;
        case WM_DESTROY:
            state_.iconic = IsIconic(handle()) ? 2 : 1;
            KillTimer(handle(), kTickTimer);
            // Stop receiving while the window still exists, and before the
            // process-wide socket and Winsock go, so that an ordinary close
            // keeps its ordinary exit status.
            if (receiver_) receiver_->stop();
            return false;
        default:
            return false;
    }
}

void CClockDlg::tick() {
    ClockReading reading{platform::wallClockMs(), platform::sinceBootMs()};
    bool stepSeen = steps_.tick(reading, state_.lastClockSettingMs);
    auto now = static_cast<std::uint32_t>(reading.wallMs / 1000);
    pollWhenDue(polls_, state_, now, reading.sinceBootMs, stepSeen, [this] { startRequest(state_, socket_); });
    // A request under way changes nothing shown: the last answer holds
    // until the next one comes.
    std::int64_t shownSeconds = std::int64_t{now} + state_.shownCorrection;
    bool minimized = IsIconic(handle()) != FALSE;
    ClockTexts texts = clockTexts(shownSeconds, minimized, state_.hourDisplay24 != 0, zoneName_);
    CWindow(handle()).setText(texts.caption);
    if (!minimized) {
        item(IDC_CLOCK_TIME).setText(texts.time);
        item(IDC_CLOCK_DATE).setText(texts.date);
    }
    if (state_.openSettingsDlg != nullptr) state_.openSettingsDlg->watchRequest();
    // A timer restarted for a whole second after the work would drift
    // through the second and now and then skip one.
    SetTimer(handle(), kTickTimer, nextTickDelayMs(platform::wallClockMs()), nullptr);
}

void CClockDlg::timeChanged() {
    // Someone may have changed the time zone as well as the time.
    platform::reloadTimeZone();
    steps_.timeChanged(platform::sinceBootMs(), state_.lastClockSettingMs);
}

void CClockDlg::paintIcon() {
    PaintDc paint(handle());
    HDC dc = paint.get();
    CWindow(handle()).sendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client;
    GetClientRect(handle(), &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
}

void CClockDlg::openSettings() {
    CSettingsDlg(state_, socket_).doModal();
    applyZOrder();
}

void CClockDlg::applyZOrder() {
    constexpr UINT kKeepPlace = SWP_NOMOVE | SWP_NOSIZE;
    if (state_.alwaysOnTop) {
        SetWindowPos(handle(), HWND_TOPMOST, 0, 0, 0, 0, kKeepPlace);
        return;
    }
    SetWindowPos(handle(), HWND_BOTTOM, 0, 0, 0, 0, kKeepPlace);
    // Wine keeps a topmost window topmost on HWND_BOTTOM; Windows does not
    // need this step, and it does no harm there.
    SetWindowPos(handle(), HWND_NOTOPMOST, 0, 0, 0, 0, kKeepPlace);
    SetWindowPos(handle(), HWND_TOP, 0, 0, 0, 0, kKeepPlace);
}
