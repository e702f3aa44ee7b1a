// The time service's installer of `make dist`, under Wine, against UDP
// servers of the test's own on loopback: installed with SERVER pointing
// there, the service registered as LOCAL SERVICE and started, its requests
// (with a nonce), its clock settings, its published results, code 128 and
// its limit, MaxStep, the clock asking it when its own setting is refused,
// a control code it does not take, its stops when its socket fails (its
// receives made to fail by the hook, its bind by the shim in the
// wineserver, MARIVEL_BIND_CONTROL), and removal, which takes the whole
// settings key; and, as it comes but for its server, NTS against chronyd
// (tests/harness/with-peers). The package comes from MARIVEL_SERVICE_MSI. Wine would
// refuse any setting of its clock by 0.5 s or more, so the service's
// SetSystemTime is replaced by the recording hook (MARIVEL_HOOK_DLL), which
// lets it "work" as it does for LOCAL SERVICE on Windows. The hook finds
// its record through MARIVEL_HOOK_OUT in the service's environment, which
// the service control manager builds from the system's variables: the
// harness sets it there as the prefix boots (MARIVEL_WINE_SYSTEM_ENV).
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ClockTest.h"
#include "Driver.h"
#include "TestServer.h"
#include "link/ServiceLink.h"
#include "ui/resource.h"

namespace {

constexpr int kFirstRequestMs = 20000;  // the service's start under Wine included

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string installedProgram() {
    char folder[MAX_PATH] = {};
    ExpandEnvironmentStringsA("%ProgramW6432%\\Marivel\\marivel-service.exe", folder, sizeof folder);
    return folder;
}

struct ServiceConfig {
    bool found = false;
    std::string account;
    DWORD startType = 0;
    DWORD serviceType = 0;
    std::string displayName;
};

ServiceConfig queryConfig() {
    ServiceConfig config;
    driver::onService(service::kServiceName, SERVICE_QUERY_CONFIG, [&config](SC_HANDLE handle) {
        DWORD size = 0;
        QueryServiceConfigA(handle, nullptr, 0, &size);
        std::string buffer(size, '\0');
        auto* info = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (size != 0 && QueryServiceConfigA(handle, info, size, &size)) {
            config.found = true;
            config.account = info->lpServiceStartName != nullptr ? info->lpServiceStartName : "";
            config.startType = info->dwStartType;
            config.serviceType = info->dwServiceType;
            config.displayName = info->lpDisplayName != nullptr ? info->lpDisplayName : "";
        }
    });
    return config;
}

SERVICE_STATUS queryStatus() {
    SERVICE_STATUS status{};
    driver::onService(service::kServiceName, SERVICE_QUERY_STATUS,
                      [&status](SC_HANDLE handle) { QueryServiceStatus(handle, &status); });
    return status;
}

// The service's status once it has stopped, or as it is after 10 s.
SERVICE_STATUS awaitStopped() {
    return driver::waitUntil([] { return queryStatus(); },
                             [](const SERVICE_STATUS& status) { return status.dwCurrentState == SERVICE_STOPPED; },
                             10000);
}

// What a hooked program would have set, minus the true time of its call.
double setAheadMs(const driver::HookedCall& call) { return call.errorMs(0); }

std::string tempFile(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + name + std::to_string(GetCurrentProcessId()) + ".txt";
}

// The published result once it is about `server` and differs from `before`.
std::optional<service::Result> awaitResult(const std::optional<service::Result>& before) {
    return driver::waitUntil(
        [] { return service::readPublishedResult(); },
        [&before](const std::optional<service::Result>& now) {
            return now && (!before || service::formatResult(*now) != service::formatResult(*before));
        },
        10000);
}

class TimeServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        package_ = driver::windowsPathOf("MARIVEL_SERVICE_MSI");
        failNextBinds(0);  // a count an earlier run left
    }
    static bool startService() {
        BOOL started = FALSE;
        driver::onService(service::kServiceName, SERVICE_START,
                          [&started](SC_HANDLE handle) { started = StartServiceA(handle, 0, nullptr); });
        return started != FALSE;
    }
    // The next `count` binds in the prefix fail with "address in use".
    static void failNextBinds(int count) {
        std::string control = driver::windowsPathOf("MARIVEL_BIND_CONTROL");
        ASSERT_FALSE(control.empty()) << "MARIVEL_BIND_CONTROL";
        std::FILE* out = std::fopen(control.c_str(), "w");
        ASSERT_NE(out, nullptr) << control;
        std::fprintf(out, "%d\n", count);
        std::fclose(out);
    }
    void TearDown() override {
        failNextBinds(0);
        for (const std::string& file :
             {serviceRecord_, serviceRecord_ + ".hooked", serviceRecord_ + ".precise", serviceRecord_ + ".fail-receive",
              clockRecord_, clockRecord_ + ".hooked", clockRecord_ + ".asks", clockRecord_ + ".precise"})
            DeleteFileA(file.c_str());
    }
    std::vector<driver::HookedCall> serviceCalls() const { return driver::readHookRecord(serviceRecord_); }
    // For each setting, how often the service had read the clock through
    // the GetSystemTimePreciseAsFileTime it looked up.
    std::vector<driver::HookedCall> preciseReads() const {
        return driver::readHookRecord(serviceRecord_ + ".precise");
    }
    // The clock's asks of the service, each a control code.
    std::vector<driver::HookedCall> clockAsks() const { return driver::readHookRecord(clockRecord_ + ".asks"); }

    // One request from the service, answered as a server `offsetSeconds`
    // ahead; false when none came in time.
    bool answerNext(std::int64_t offsetSeconds, int timeoutMs) {
        unsigned char request[512];
        int length = server_.receive(request, sizeof request, timeoutMs);
        if (length < 0) return false;
        EXPECT_EQ(length, 48) << "an NTP request";
        EXPECT_EQ(request[0], 0x0B) << "version 1, client";
        EXPECT_NE(server_.lastTransmit(), 0u) << "a nonce as its transmit timestamp";
        EXPECT_NE(server_.lastTransmit(), lastNonce_) << "a new one each time";
        lastNonce_ = server_.lastTransmit();
        server_.answerNtp(offsetSeconds);
        return true;
    }

    e2e::Listener server_;
    std::string package_;
    std::string serviceRecord_ = driver::systemVariable("MARIVEL_HOOK_OUT");
    std::string clockRecord_ = tempFile("marivel-clock-calls-");
    std::uint64_t lastNonce_ = 0;
};

}  // namespace

TEST_F(TimeServiceTest, InstalledItSetsTheClockTakesNowOnceAMinuteServesTheClockStopsWhenItsSocketFailsAndGoesCleanly) {
    ASSERT_FALSE(package_.empty()) << "MARIVEL_SERVICE_MSI";
    ASSERT_FALSE(serviceRecord_.empty()) << "MARIVEL_HOOK_OUT among the system's variables";
    ASSERT_EQ(driver::msiexec("/i \"" + package_ + "\" SERVER=" + server_.server() + " PORT=ntp"), 0u);

    ServiceConfig config = queryConfig();
    ASSERT_TRUE(config.found);
    EXPECT_EQ(config.account, "NT AUTHORITY\\LocalService");
    EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.displayName, "Marivel Time Service");
    EXPECT_TRUE(exists(installedProgram())) << installedProgram();
    EXPECT_TRUE(service::isServiceRunning());
    DWORD serviceId = driver::serviceProcess(service::kServiceName);
    ASSERT_NE(serviceId, 0u);
    ASSERT_TRUE(driver::loadRecordingHook(serviceId, "MARIVEL_HOOK_DLL", serviceRecord_))
        << "the hook is not in place in the service";

    // Started at once, it polls. The request waited in the socket while
    // msiexec ran, so the answer's timestamps put all of that wait on the
    // way out: half of it is in the offset. Whatever the offset, the clock
    // is set to the moment of the call plus that offset.
    auto firstAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(answerNext(4, kFirstRequestMs)) << "no request from the service";
    std::optional<service::Result> first = awaitResult(std::nullopt);
    ASSERT_TRUE(first.has_value()) << "nothing published";
    EXPECT_EQ(first->server, server_.server());
    EXPECT_EQ(first->setting, service::SettingOutcome::Done);
    EXPECT_GE(first->offsetMs, 3950);
    EXPECT_LE(std::abs(static_cast<std::int64_t>(first->when) - static_cast<std::int64_t>(std::time(nullptr)) - 4), 2);
    std::vector<driver::HookedCall> calls = serviceCalls();
    ASSERT_EQ(calls.size(), 1u) << "one answer, one setting";
    EXPECT_NEAR(setAheadMs(calls[0]), static_cast<double>(first->offsetMs), 20.0) << "the instant set";
    // Its first read of the precise clock came after the hook was in: the
    // look-up went through it, and so did every read before the setting.
    std::vector<driver::HookedCall> reads = preciseReads();
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_GE(reads[0].what, 2u) << "the receipt and the setting read the precise clock";

    // The clock, its own setting refused as a standard user's is, asking a
    // server of its own; "Set System Clock" is switched on only when it is
    // to ask, so that its first poll asks the service nothing.
    e2e::Listener clockServer;
    e2e::prepareSettings(clockServer.server(), "ntp");
    driver::Program clock({{"MARIVEL_HOOK_OUT", clockRecord_}, {"MARIVEL_HOOK_REFUSE", "1"}});
    HWND window = clock.waitForWindow(e2e::kClockCaption);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(driver::loadRecordingHook(clock.id(), "MARIVEL_HOOK_DLL", clockRecord_));
    unsigned char request[512];
    ASSERT_GT(clockServer.receive(request, sizeof request, 5000), 0) << "the clock's first tick polls";
    clockServer.answerNtp(0);

    // "Now", once the 15 s floor since that poll has passed; answered at
    // once by a server on time: the clock is set to the very moment.
    std::this_thread::sleep_until(firstAt + std::chrono::seconds(16));
    ASSERT_TRUE(service::askServiceNow());
    ASSERT_TRUE(answerNext(0, 2000)) << "code 128 brought no request within 2 s";
    std::optional<service::Result> done = awaitResult(first);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->setting, service::SettingOutcome::Done);
    EXPECT_LT(std::abs(done->offsetMs), 50);
    calls = serviceCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NEAR(setAheadMs(calls[1]), static_cast<double>(done->offsetMs), 20.0);
    reads = preciseReads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_GE(reads[1].what, reads[0].what + 2) << "the second setting's reads";
    EXPECT_TRUE(service::askServiceNow()) << "delivered, and dropped";
    unsigned char none[512];
    EXPECT_EQ(server_.receive(none, sizeof none, 5000), -1) << "a second code 128 within the minute asked";

    // A minute on, the clock's refused setting asks the service, once. The
    // service's answer lies beyond MaxStep (54000 s): nothing is set, and
    // the result says so.
    std::this_thread::sleep_until(firstAt + std::chrono::seconds(16 + 61));
    ASSERT_TRUE(clockAsks().empty()) << "the clock asked before its setting was refused";
    PostMessageA(window, WM_SYSCOMMAND, IDM_SETTINGS, 0);
    HWND dialog = clock.waitForWindow(e2e::kSettingsCaption);
    ASSERT_NE(dialog, nullptr);
    driver::setChecked(dialog, IDC_SET_SYSTEM_CLOCK, true);
    driver::click(dialog, IDC_PING_NOW);
    ASSERT_GT(clockServer.receive(request, sizeof request, 5000), 0) << "Ping Now asked nothing";
    clockServer.answerNtp(3);
    ASSERT_TRUE(answerNext(54001, 3000)) << "the clock's refused setting brought no request from the service";
    std::optional<service::Result> skipped = awaitResult(done);
    ASSERT_TRUE(skipped.has_value());
    EXPECT_EQ(skipped->setting, service::SettingOutcome::Skipped);
    EXPECT_NEAR(static_cast<double>(skipped->offsetMs), 54001000.0, 50.0);
    EXPECT_EQ(serviceCalls().size(), 2u) << "a step beyond MaxStep was set";
    std::vector<driver::HookedCall> asks = clockAsks();
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0].what, service::kControlSyncNow);

    // A second refused reply within the minute asks nothing.
    std::size_t settingsBefore = driver::readHookRecord(clockRecord_).size();
    driver::click(dialog, IDC_PING_NOW);
    ASSERT_GT(clockServer.receive(request, sizeof request, 5000), 0);
    clockServer.answerNtp(3);
    EXPECT_TRUE(driver::waitUntil([&] { return driver::readHookRecord(clockRecord_).size(); },
                                  [&](std::size_t count) { return count > settingsBefore; }, 3000) > settingsBefore)
        << "the second reply was not refused";
    EXPECT_EQ(server_.receive(none, sizeof none, 2000), -1) << "the service asked its server again";
    EXPECT_EQ(clockAsks().size(), 1u) << "the clock asked the service again within the minute";

    // The notice at "Set System Clock" is the service's, refreshed by that
    // reply: its server and its last result.
    const std::string serviceNotice = "It asks " + server_.server() + ". ";
    auto notice = e2e::awaitBalloon(clock, serviceNotice.c_str(), true, 5000);
    ASSERT_TRUE(notice) << "no notice of the service";
    EXPECT_EQ(notice->title, "Marivel Time Service keeps the clock set");
    EXPECT_EQ(notice->control, IDC_SET_SYSTEM_CLOCK);
    EXPECT_TRUE(e2e::balloonIsOnScreen(dialog, notice->window, "notice-time-service.bmp"));
    EXPECT_NE(notice->text.find("(MaxStep)"), std::string::npos) << notice->text;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(clock.closeWindow(window), 0u);

    // A control code it does nothing with changes nothing. Its handler
    // refuses it (ERROR_CALL_NOT_IMPLEMENTED, tested natively), but Wine's
    // services.exe reports every control it delivered as taken, whatever
    // the handler answered: ControlService succeeds here.
    BOOL delivered = FALSE;
    driver::onService(service::kServiceName, SERVICE_USER_DEFINED_CONTROL, [&delivered](SC_HANDLE handle) {
        SERVICE_STATUS status{};
        delivered = ControlService(handle, service::kControlSyncNow + 1, &status);
    });
    EXPECT_TRUE(delivered) << GetLastError();
    EXPECT_EQ(server_.receive(none, sizeof none, 3000), -1) << "code 129 asked the server";
    EXPECT_EQ(queryStatus().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

    // Its socket fails under the receiving thread: the service stops, its
    // exit code the Winsock error, and says so in its last result, read
    // through a handle kept open across the stop as a watching program does.
    HANDLE watched = OpenFileMappingA(FILE_MAP_READ, FALSE, service::kResultMappingName);
    ASSERT_NE(watched, nullptr);
    std::FILE* failing = std::fopen((serviceRecord_ + ".fail-receive").c_str(), "wb");
    ASSERT_NE(failing, nullptr);
    std::fclose(failing);
    const unsigned char stray = 0;
    server_.answer(&stray, 1);  // ends the receive under way; the next one fails
    SERVICE_STATUS stopped = awaitStopped();
    EXPECT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, static_cast<DWORD>(WSAENETDOWN));
    std::optional<service::Result> last = service::readPublishedResult();
    ASSERT_TRUE(last.has_value()) << "no result kept";
    EXPECT_EQ(last->setting, service::SettingOutcome::Failed);
    EXPECT_EQ(last->stopped, service::StopCause::Receive);
    EXPECT_EQ(last->error, static_cast<std::uint32_t>(WSAENETDOWN));
    EXPECT_EQ(last->server, server_.server());
    DeleteFileA((serviceRecord_ + ".fail-receive").c_str());

    // Started again while that handle still holds the mapping: it takes
    // its own earlier mapping again, runs and publishes its answer. Then
    // stopped as asked, with no error.
    ASSERT_TRUE(startService()) << GetLastError();
    ASSERT_TRUE(answerNext(0, kFirstRequestMs))
        << "no request after the restart; its exit code " << queryStatus().dwServiceSpecificExitCode;
    std::optional<service::Result> again = awaitResult(last);
    ASSERT_TRUE(again.has_value()) << "nothing published after the restart";
    EXPECT_EQ(again->stopped, service::StopCause::None);
    EXPECT_LT(std::abs(again->offsetMs), 50);
    CloseHandle(watched);
    driver::onService(service::kServiceName, SERVICE_STOP, [](SC_HANDLE handle) {
        SERVICE_STATUS status{};
        ControlService(handle, SERVICE_CONTROL_STOP, &status);
    });
    stopped = awaitStopped();
    EXPECT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR)) << "a stop asked for is no failure";

    // Started again with its bind made to fail: it stops at once, its exit
    // code the bind's error.
    failNextBinds(1);
    EXPECT_TRUE(startService()) << GetLastError();
    stopped = awaitStopped();
    EXPECT_EQ(stopped.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(stopped.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(stopped.dwServiceSpecificExitCode, static_cast<DWORD>(WSAEADDRINUSE));

    // Removal takes the whole settings key, a value an administrator added
    // included.
    HKEY settings = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Marivel\\Service", 0, KEY_SET_VALUE, &settings),
              ERROR_SUCCESS);
    DWORD maxStep = 600;
    EXPECT_EQ(RegSetValueExA(settings, "MaxStep", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&maxStep),
                             sizeof maxStep),
              ERROR_SUCCESS);
    RegCloseKey(settings);
    ASSERT_EQ(driver::msiexec("/x \"" + package_ + "\""), 0u);
    EXPECT_FALSE(queryConfig().found) << "the service is still registered";
    EXPECT_FALSE(exists(installedProgram()));
    settings = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Marivel\\Service", 0, KEY_READ, &settings),
              ERROR_FILE_NOT_FOUND)
        << "the settings key is left";
    if (settings != nullptr) RegCloseKey(settings);
}

// Installed as it comes, but for the server: NTS against chronyd through
// tests/harness/with-peers, its test CA trusted in this prefix alone. A
// code 128 after the hook is in place brings a key exchange's cookie into
// use: the clock set to chronyd's time, and the result published as
// authenticated.
TEST_F(TimeServiceTest, WithPortNtsItSetsTheClockFromAnAuthenticatedAnswerOnly) {
    const char* ntsPeer = std::getenv("MARIVEL_NTS_PEER");
    ASSERT_NE(ntsPeer, nullptr) << "not run by with-peers";
    const double shift = std::atof(std::getenv("MARIVEL_PEER_SHIFT"));
    ASSERT_TRUE(driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_CA_DER")));
    ASSERT_EQ(driver::msiexec("/i \"" + package_ + "\" SERVER=" + ntsPeer), 0u) << "PORT is nts by default";
    DWORD serviceId = driver::serviceProcess(service::kServiceName);
    ASSERT_NE(serviceId, 0u);
    ASSERT_TRUE(driver::loadRecordingHook(serviceId, "MARIVEL_HOOK_DLL", serviceRecord_));
    // Its first answer may have come before the hook: the floor of 15 s
    // after it, then one asked now.
    std::optional<service::Result> before = awaitResult(std::nullopt);
    Sleep(16000);
    ASSERT_TRUE(service::askServiceNow());
    std::optional<service::Result> result = awaitResult(before);
    ASSERT_TRUE(result.has_value()) << "no authenticated answer published";
    EXPECT_EQ(result->server, ntsPeer);
    EXPECT_EQ(result->authenticatedBy, ntsPeer);
    EXPECT_EQ(result->setting, service::SettingOutcome::Done);
    EXPECT_NEAR(static_cast<double>(result->offsetMs), shift * 1000.0, 50.0);
    std::vector<driver::HookedCall> calls = serviceCalls();
    ASSERT_FALSE(calls.empty()) << "the service did not set the clock";
    EXPECT_NEAR(calls.back().errorMs(shift), 0.0, 20.0) << "the clock set to chronyd's time";
    ASSERT_EQ(driver::msiexec("/x \"" + package_ + "\""), 0u);
}
