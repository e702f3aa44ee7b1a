// The time service's installer of `make dist`, under Wine, against a UDP
// server of the test's own on loopback: installed with SERVER pointing
// there, the service registered as LOCAL SERVICE and started, its requests
// (with a nonce), its published results, code 128 and its limit, MaxStep,
// and removal. The package comes from MARIVEL_SERVICE_MSI. Wine refuses
// any setting of its clock by 0.5 s or more and quietly does nothing for a
// smaller one, so "done" and "refused" are both Wine's true answers.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "TestServer.h"
#include "Driver.h"
#include "service/ServiceLink.h"

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
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return config;
    SC_HANDLE handle = OpenServiceA(manager, service::kServiceName, SERVICE_QUERY_CONFIG);
    if (handle != nullptr) {
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
        CloseServiceHandle(handle);
    }
    CloseServiceHandle(manager);
    return config;
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
    void SetUp() override { package_ = driver::windowsPathOf("MARIVEL_SERVICE_MSI"); }

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
    std::uint64_t lastNonce_ = 0;
};

}  // namespace

TEST_F(TimeServiceTest, InstalledItAsksItsServerSetsTheClockTakesNowOnceAMinuteAndGoesCleanly) {
    ASSERT_FALSE(package_.empty()) << "MARIVEL_SERVICE_MSI";
    ASSERT_EQ(driver::msiexec("/i \"" + package_ + "\" SERVER=" + server_.server()), 0u);

    ServiceConfig config = queryConfig();
    ASSERT_TRUE(config.found);
    EXPECT_EQ(config.account, "NT AUTHORITY\\LocalService");
    EXPECT_EQ(config.startType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.displayName, "Marivel Time Service");
    EXPECT_TRUE(exists(installedProgram())) << installedProgram();
    EXPECT_TRUE(service::isServiceRunning());

    // Started at once, it polls. The request waited in the socket while
    // msiexec ran, so the answer's timestamps put all of that wait on the
    // way out: half of it is in the offset. 4 s and more: Wine refuses, as
    // Windows refuses a standard user.
    auto firstAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(answerNext(4, kFirstRequestMs)) << "no request from the service";
    std::optional<service::Result> first = awaitResult(std::nullopt);
    ASSERT_TRUE(first.has_value()) << "nothing published";
    EXPECT_EQ(first->server, server_.server());
    EXPECT_EQ(first->setting, service::Setting::Refused);
    EXPECT_GE(first->offsetMs, 3950);
    EXPECT_LE(std::abs(static_cast<std::int64_t>(first->when) - static_cast<std::int64_t>(std::time(nullptr)) - 4), 2);

    // "Now", once the 15 s floor since that poll has passed; answered at
    // once by a server on time, so Wine lets the setting "work" (below half
    // a second it changes nothing and says so).
    std::this_thread::sleep_until(firstAt + std::chrono::seconds(16));
    ASSERT_TRUE(service::askServiceNow());
    ASSERT_TRUE(answerNext(0, 2000)) << "code 128 brought no request within 2 s";
    std::optional<service::Result> done = awaitResult(first);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->setting, service::Setting::Done);
    EXPECT_LT(std::abs(done->offsetMs), 50);
    EXPECT_TRUE(service::askServiceNow()) << "delivered, and dropped";
    unsigned char none[512];
    EXPECT_EQ(server_.receive(none, sizeof none, 5000), -1) << "a second code 128 within the minute asked";

    // Beyond MaxStep (54000 s): nothing is set, and the result says so.
    std::this_thread::sleep_until(firstAt + std::chrono::seconds(16 + 61));
    ASSERT_TRUE(service::askServiceNow());
    ASSERT_TRUE(answerNext(54001, 2000));
    std::optional<service::Result> skipped = awaitResult(done);
    ASSERT_TRUE(skipped.has_value());
    EXPECT_EQ(skipped->setting, service::Setting::Skipped);
    EXPECT_NEAR(static_cast<double>(skipped->offsetMs), 54001000.0, 50.0);

    ASSERT_EQ(driver::msiexec("/x \"" + package_ + "\""), 0u);
    EXPECT_FALSE(queryConfig().found) << "the service is still registered";
    EXPECT_FALSE(exists(installedProgram()));
    HKEY settings = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Marivel\\Service", 0, KEY_READ, &settings), ERROR_SUCCESS);
    if (settings != nullptr) RegCloseKey(settings);
}
