// How well the client reads real time servers: polls an NTP server and an
// RFC 868 server on loopback (shifted by MARIVEL_PEER_SHIFT seconds) many
// times and prints, for each, how far the correction and the clock setting
// it would make are from the truth, and how long a reply takes.
//   bench/run-peer-accuracy (through isolated and with-peers)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

#include "net/Receive.h"
#include "net/Reply.h"
#include "net/Request.h"
#include "net/Resolve.h"
#include "net/Socket.h"
#include "platform/Clock.h"
#include "settings/AppState.h"

namespace {

constexpr int kRounds = 50;

std::mutex settingMutex;
platform::UtcTime lastSetting{};
platform::ClockSetting recordSetting(const platform::UtcTime& utc) {
    std::lock_guard<std::mutex> hold(settingMutex);
    lastSetting = utc;
    return platform::ClockSetting::Done;
}

// Milliseconds since 1970 of a UTC calendar instant.
double millisecondsOf(const platform::UtcTime& utc) {
    std::tm fields{};
    fields.tm_year = utc.year - 1900;
    fields.tm_mon = utc.month - 1;
    fields.tm_mday = utc.day;
    fields.tm_hour = utc.hour;
    fields.tm_min = utc.minute;
    fields.tm_sec = utc.second;
    return static_cast<double>(timegm(&fields)) * 1000.0 + utc.milliseconds;
}

double wallMilliseconds() {
    using namespace std::chrono;
    return static_cast<double>(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count()) / 1000.0;
}

void measure(const char* name, const char* peer, const char* portText, int shift) {
    static AppState state;  // request threads are detached: keep what they use
    static CSocket socket(kSockDgram, 0, kAfInet);
    if (socket.handle() == CSocket::kNoSocket) {
        socket.init();
        socket.bindAny();
    }
    state.timeServer.set(peer);
    state.port.set(portText);
    state.setSystemClock = 1;

    std::mutex mutex;
    int replies = 0;
    double replyAt = 0;
    ReceiveThread receiver(state, socket, [&] {
        std::lock_guard<std::mutex> hold(mutex);
        ++replies;
        replyAt = wallMilliseconds();
    });
    receiver.start();
    std::vector<double> settingErrors, latencies;
    int correctionMisses = 0;
    for (int round = 0; round < kRounds; ++round) {
        int before;
        {
            std::lock_guard<std::mutex> hold(mutex);
            before = replies;
        }
        double sentAt = wallMilliseconds();
        startRequest(state, socket);
        double deadline = sentAt + 2000;
        bool answered = false;
        while (!answered && wallMilliseconds() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::lock_guard<std::mutex> hold(mutex);
            answered = replies > before;
        }
        if (!answered) continue;
        double handledAt;
        {
            std::lock_guard<std::mutex> hold(mutex);
            handledAt = replyAt;
        }
        std::lock_guard<std::mutex> hold(settingMutex);
        settingErrors.push_back(millisecondsOf(lastSetting) - (handledAt + shift * 1000.0));
        latencies.push_back(handledAt - sentAt);
        if (std::abs(state.correction.load() - shift) > 1) ++correctionMisses;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    receiver.stop();
    if (settingErrors.empty()) {
        std::printf("%-8s no replies\n", name);
        return;
    }
    std::vector<double> absolute;
    for (double e : settingErrors) absolute.push_back(std::abs(e));
    std::sort(absolute.begin(), absolute.end());
    std::sort(latencies.begin(), latencies.end());
    std::printf("%-8s replies %zu/%d  correction off by more than 1 s: %d  clock setting error ms: median %.1f "
                "max %.1f  reply time ms: median %.2f max %.2f\n",
                name, settingErrors.size(), kRounds, correctionMisses, absolute[absolute.size() / 2], absolute.back(),
                latencies[latencies.size() / 2], latencies.back());
}

}  // namespace

int main() {
    const char* ntpPeer = std::getenv("MARIVEL_NTP_PEER");
    const char* timePeer = std::getenv("MARIVEL_TIME_PEER");
    const char* shiftText = std::getenv("MARIVEL_PEER_SHIFT");
    if (ntpPeer == nullptr || timePeer == nullptr || shiftText == nullptr) {
        std::fprintf(stderr, "run through tests/harness/with-peers\n");
        return 2;
    }
    platform::replaceSystemClockSetter(recordSetting);
    int shift = leadingNumber(shiftText);
    std::printf("Peer accuracy, %d polls each, servers shifted by %d s:\n", kRounds, shift);
    measure("NTP", ntpPeer, "ntp", shift);
    measure("RFC 868", timePeer, "37", shift);
    return 0;
}
