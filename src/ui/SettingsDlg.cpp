#include "ui/SettingsDlg.h"

#include <algorithm>

#include "framework/Shell.h"
#include "framework/WinApp.h"
#include "net/Request.h"
#include "platform/Clock.h"
#include "platform/win32/Owned.h"
#include "link/ServiceLink.h"
#include "settings/AppState.h"
#include "ui/SettingsRules.h"
#include "ui/resource.h"

namespace {

// The title of the notice that a request could not go.
UINT requestFailureTitle(RequestOutcome failure) {
    switch (failure) {
        case RequestOutcome::NoKeyExchange:
            return IDS_NO_KEY_EXCHANGE_TITLE;
        case RequestOutcome::CertificateUntrusted:
            return IDS_CERTIFICATE_UNTRUSTED_TITLE;
        case RequestOutcome::CertificateName:
            return IDS_CERTIFICATE_NAME_TITLE;
        case RequestOutcome::CertificateDates:
            return IDS_CERTIFICATE_DATES_TITLE;
        case RequestOutcome::KeyExchangeRefused:
            return IDS_KEY_EXCHANGE_REFUSED_TITLE;
        case RequestOutcome::KeyExchangeFailed:
            return IDS_KEY_EXCHANGE_FAILED_TITLE;
        case RequestOutcome::NameNotFound:
        case RequestOutcome::Preparing:
        case RequestOutcome::Sent:
        case RequestOutcome::SendFailed:
        case RequestOutcome::NotSent:
            break;
    }
    return IDS_NAME_NOT_FOUND_TITLE;
}

// Each refusal notice goes after a while, by its own timer.
constexpr UINT_PTR kRefusedSettingTimer = 1;
constexpr UINT_PTR kRefusedServerTimer = 2;
constexpr UINT kNoticeMs = 20000;
// Posted at the opening: the notice goes up once the dialog has its place.
constexpr UINT kNoticeMessage = WM_APP + 1;

}  // namespace

CSettingsDlg::CSettingsDlg(AppState& state, CSocket& socket)
    : CDialog(IDD_SETTINGS), state_(state), socket_(socket) {}

// However the dialog ended, a reply never refreshes it once it is gone.
CSettingsDlg::~CSettingsDlg() { unregister(); }

void CSettingsDlg::unregister() {
    if (state_.openSettingsDlg == this) state_.openSettingsDlg = nullptr;
}

bool CSettingsDlg::onInitDialog() {
    CComboBox servers = item<CComboBox>(IDC_SERVER);
    for (const std::string& server : splitServerList(state_.timeServerList.get())) servers.addString(server);
    item<CUpDown>(IDC_POLL_SPIN).setRange(static_cast<int>(kPollPeriodMinMinutes),
                                          static_cast<int>(kPollPeriodMaxMinutes));
    state_.openSettingsDlg = this;
    fitLastResponse();
    PostMessageA(handle(), kNoticeMessage, 0, 0);
    return true;  // the focus goes to the server
}

void CSettingsDlg::refresh() {
    CDataExchange dx(handle(), false);
    doDataExchange(dx);
    fitLastResponse();
    noticeRefusedSetting();
    noticeRefusedServer();
    watchRequest();
}

// The Last Response box holds two lines. An authenticated answer's third
// line, wrapped where the box is narrow, makes the box, the two group boxes
// of its row, the buttons below and the dialog as much taller as the text
// needs, so that every line shows whole; nothing ever grows back smaller,
// so the dialog does not jump while it is open.
void CSettingsDlg::fitLastResponse() {
    HWND box = item(IDC_LAST_RESPONSE).handle();
    auto lines = static_cast<int>(SendMessageA(box, EM_GETLINECOUNT, 0, 0));
    TEXTMETRICA metrics{};
    {
        WindowDc dc(box);
        SelectedObject font(dc.get(), reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)));
        GetTextMetricsA(dc.get(), &metrics);
    }
    RECT shown{};
    SendMessageA(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&shown));
    int lineHeight = std::max<int>(1, metrics.tmHeight);
    int grow = lines * lineHeight - (shown.bottom - shown.top);
    if (grow <= 0) return;

    RECT boxPlace = placeOf(box);
    for (HWND child = GetWindow(handle(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char windowClass[32] = {};
        GetClassNameA(child, windowClass, sizeof windowClass);
        if (std::string(windowClass) == CBalloonTip::kWindowClass) continue;  // placed by its own rules
        RECT place = placeOf(child);
        if (place.top >= boxPlace.bottom) {
            SetWindowPos(child, nullptr, place.left, place.top + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        } else if (place.bottom >= boxPlace.bottom && place.top <= boxPlace.top) {
            // The box itself, and the group boxes of its row.
            SetWindowPos(child, nullptr, 0, 0, place.right - place.left, place.bottom - place.top + grow,
                         SWP_NOMOVE | SWP_NOZORDER);
        }
    }
    RECT frame{};
    GetWindowRect(handle(), &frame);
    SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER);
}

RECT CSettingsDlg::placeOf(HWND child) const {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void CSettingsDlg::showForAWhile(CBalloonTip& notice, UINT_PTR timer, int control, const std::string& title,
                                 const std::string& text) {
    notice.show(item(control).handle(), title, text);
    SetTimer(handle(), timer, kNoticeMs, nullptr);
}

// While the Marivel Time Service runs, it sets the clock for every user:
// the notice says so, from which server, and how its last setting went.
// Otherwise, after a refusal the clock goes on showing the corrected time
// and asks nothing again; the user, who switched the option on, learns why
// the system clock stays as it is, and how to allow the change.
void CSettingsDlg::noticeRefusedSetting() {
    const CWinApp& app = *CWinApp::current();
    if (service::isServiceRunning()) {
        showForAWhile(refusedSettingNotice_, kRefusedSettingTimer, IDC_SET_SYSTEM_CLOCK,
                      app.loadString(IDS_TIME_SERVICE_TITLE), timeServiceNoticeText(service::readPublishedResult()));
        return;
    }
    if (!showsRefusedSettingNotice(state_.setSystemClock != 0, state_.lastClockSetting)) return;
    showForAWhile(refusedSettingNotice_, kRefusedSettingTimer, IDC_SET_SYSTEM_CLOCK,
                  app.loadString(IDS_CLOCK_REFUSED_TITLE), app.loadString(IDS_CLOCK_REFUSED_TEXT));
}

// The clock no longer asks such a server by itself; without a word the
// user would only see the time stop being corrected.
void CSettingsDlg::noticeRefusedServer() {
    if (!serverRefusesUs(state_)) return;
    const CWinApp& app = *CWinApp::current();
    showForAWhile(refusedServerNotice_, kRefusedServerTimer, IDC_SERVER, app.loadString(IDS_SERVER_REFUSED_TITLE),
                  app.loadString(IDS_SERVER_REFUSED_TEXT));
}

void CSettingsDlg::watchRequest() {
    RequestRecord latest = state_.lastRequest.get();
    if (latest.answered) {
        requestNotice_.hide();
        return;
    }
    RequestNotice notice = requestNotice(latest, platform::sinceBootMs());
    if (notice.kind == RequestNoticeKind::None) return;
    if (latest.serial == requestNoticeSerial_ && notice.kind == requestNoticeKind_) return;
    requestNoticeSerial_ = latest.serial;
    requestNoticeKind_ = notice.kind;
    const CWinApp& app = *CWinApp::current();
    if (notice.kind == RequestNoticeKind::NoAnswer) {
        UINT text = notice.advice == NoAnswerAdvice::TryNtp ? IDS_NO_ANSWER_TIME_STYLE_TEXT : IDS_NO_ANSWER_TEXT;
        requestNotice_.show(item(IDC_PORT).handle(), app.loadString(IDS_NO_ANSWER_TITLE), app.loadString(text));
        return;
    }
    int control = notice.place == NoticePlace::Server ? IDC_SERVER : IDC_PORT;
    requestNotice_.show(item(control).handle(), app.loadString(requestFailureTitle(notice.failure)),
                        requestFailureText(notice.failure, latest.subject, latest.error));
}

void CSettingsDlg::onTimer(UINT_PTR id) {
    if (id == kRefusedSettingTimer) refusedSettingNotice_.hide();
    if (id == kRefusedServerTimer) refusedServerNotice_.hide();
    KillTimer(handle(), id);
}

bool CSettingsDlg::onMessage(UINT message, WPARAM, LPARAM, INT_PTR&) {
    if (message != kNoticeMessage) return false;
    noticeRefusedSetting();
    noticeRefusedServer();
    watchRequest();
    return true;
}

void CSettingsDlg::doDataExchange(CDataExchange& dx) {
    if (!dx.saving()) {
        timeServer_ = state_.timeServer.get();
        alwaysOnTop_ = state_.alwaysOnTop;
        setSystemClock_ = state_.setSystemClock;
        pollPeriod_ = state_.pollPeriod;
        port_ = state_.port.get();
        hourDisplay24_ = state_.hourDisplay24;
        lastResponse_ = lastResponseText(static_cast<std::uint32_t>(state_.lastResponseTime.load()),
                                         state_.correction, state_.authenticatedBy.get());
    }
    dx.number(IDC_POLL_PERIOD, pollPeriod_, kPollPeriodMinMinutes, kPollPeriodValidMax);
    dx.check(IDC_ALWAYS_ON_TOP, alwaysOnTop_);
    dx.check(IDC_SET_SYSTEM_CLOCK, setSystemClock_);
    dx.text(IDC_LAST_RESPONSE, lastResponse_);
    dx.text(IDC_PORT, port_);
    dx.check(IDC_HOUR_DISPLAY_24, hourDisplay24_);
    dx.comboText(IDC_SERVER, timeServer_);
    if (timeServer_ != state_.timeServer.get()) {
        // A new server: ask it at the next tick, and show "Never" until it
        // answers. What the old one said of us does not bind it.
        state_.nextPollTime = 0;
        state_.lastResponseTime = 0;
        state_.authenticatedBy.set("");
        state_.backoffSeconds = 0;
        state_.refusedServer.set("");
    }
    if (dx.saving()) {
        state_.timeServer.set(timeServer_);
        state_.alwaysOnTop = alwaysOnTop_;
        state_.setSystemClock = setSystemClock_;
        state_.pollPeriod = pollPeriod_;
        state_.port.set(port_);
        state_.hourDisplay24 = hourDisplay24_;
    }
}

bool CSettingsDlg::onCommand(int code, int id) {
    if (id == IDC_POLL_PERIOD && code == EN_CHANGE) {
        clampPollPeriod();
        return true;
    }
    // The user is choosing another server, as the notice asks.
    if (id == IDC_SERVER && (code == CBN_EDITCHANGE || code == CBN_SELCHANGE)) refusedServerNotice_.hide();
    return CDialog::onCommand(code, id);
}

bool CSettingsDlg::onButtonClicked(int id) {
    switch (id) {
        case IDC_DELETE:
            deleteSelectedServer();
            return true;
        case IDC_SET_CLOCK:
            // The system's own date and time panel; the dialog stays open.
            runSystemProgram("control.exe", "timedate.cpl");
            return true;
        case IDC_PING_NOW:
            pingNow();
            return true;
        case IDC_SET_SYSTEM_CLOCK:
            // The user is at the option the notice is about.
            refusedSettingNotice_.hide();
            return false;
        default:
            return CDialog::onButtonClicked(id);
    }
}

void CSettingsDlg::clampPollPeriod() {
    CEdit field = item<CEdit>(IDC_POLL_PERIOD);
    // Setting the text raises this notification again, which then finds a
    // value in range.
    if (auto clamped = clampedPollPeriodText(field.text())) field.setText(*clamped);
}

void CSettingsDlg::deleteSelectedServer() {
    CComboBox servers = item<CComboBox>(IDC_SERVER);
    int selected = servers.curSel();
    if (selected == CB_ERR) return;
    servers.deleteString(selected);
    servers.setCurSel(0);
}

void CSettingsDlg::pingNow() {
    // Stored when they validate; the request goes out either way, with
    // whatever is stored.
    updateData(true);
    startRequest(state_, socket_);
}

void CSettingsDlg::onOk() {
    // The server as the last exchange left it: this OK has not stored the
    // dialog's values yet.
    state_.timeServerList.set(rebuildServerList(item<CComboBox>(IDC_SERVER).items(), state_.timeServer.get()));
    unregister();
    CDialog::onOk();
}

void CSettingsDlg::onCancel() {
    unregister();
    CDialog::onCancel();
}
