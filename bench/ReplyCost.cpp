// What one reply costs the receiving thread: judging and decoding an NTP
// and an RFC 868 reply and the clock's reduction of it, without any socket.
#include <chrono>
#include <cstdio>

#include "net/Reply.h"
#include "net/RequestStyle.h"
#include "net/Wire.h"

namespace {

template <typename Work>
double nanosecondsPerCall(Work work) {
    constexpr int kCalls = 2000000;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) work(i);
    auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) / kCalls;
}

volatile std::uint32_t sink;

}  // namespace

int main() {
    RequestRecord request;
    request.serial = 1;
    request.sent = true;
    request.style = &ntpStyle();
    request.nonce = 0x0123456789ABCDEFull;
    request.sentCounter = 1000000u;
    CInetAddr from;
    std::uint8_t ntp[48] = {0x24, 2};
    wire::writeBigEndian64(&ntp[wire::kNtpOriginOffset], request.nonce);
    wire::writeBigEndian32(&ntp[40], 3900000000u);
    wire::writeBigEndian32(&ntp[44], 0x80000000u);
    ReplyMoment moment{1690000000u, 0, 10000000u, 0, 0};
    double ntpCost = nanosecondsPerCall([&](int i) {
        ntp[47] = static_cast<std::uint8_t>(i);
        moment.counter = 1000000u + static_cast<std::uint32_t>(i);
        std::optional<Sample> sample = judgeReply(request, from, ntp, sizeof ntp, moment);
        if (!sample) return;
        ClockCorrection reading = sample->style->clockCorrection(*sample);
        sink = static_cast<std::uint32_t>(reading.setTo.second) + static_cast<std::uint32_t>(reading.correction);
    });
    RequestRecord timeRequest = request;
    timeRequest.style = &rfc868Style();
    timeRequest.sentSeconds = 1689999999u;
    std::uint8_t seconds[4] = {0xE8, 0x76, 0x48, 0x00};
    double timeCost = nanosecondsPerCall([&](int i) {
        seconds[3] = static_cast<std::uint8_t>(i);
        std::optional<Sample> sample = judgeReply(timeRequest, from, seconds, sizeof seconds, moment);
        if (!sample) return;
        sink = static_cast<std::uint32_t>(sample->style->clockCorrection(*sample).setTo.second);
    });
    std::printf("Reply cost: NTP %.1f ns, RFC 868 %.1f ns per reply (check, decoding, arithmetic, calendar fields)\n",
                ntpCost, timeCost);
    return 0;
}
