// What one reply costs the receiving thread: checking and reading an NTP
// and an RFC 868 reply, without any socket.
#include <chrono>
#include <cstdio>

#include "net/Reply.h"
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
    request.style = RequestStyle::Ntp;
    request.nonce = 0x0123456789ABCDEFull;
    CInetAddr from;
    std::uint8_t ntp[48] = {0x24, 2};
    wire::writeBigEndian64(&ntp[wire::kNtpOriginOffset], request.nonce);
    wire::writeBigEndian32(&ntp[40], 3900000000u);
    wire::writeBigEndian32(&ntp[44], 0x80000000u);
    double ntpCost = nanosecondsPerCall([&](int i) {
        ntp[47] = static_cast<std::uint8_t>(i);
        if (judgeReply(request, from, ntp, sizeof ntp, 0).kind != ReplyKind::Ntp) return;
        std::int32_t half = halfRoundTripMs(1000000u + static_cast<std::uint32_t>(i), 10000000u, 1000000u);
        NtpReplyResult result = computeNtpReply(3900000000u, static_cast<std::uint32_t>(i), 1690000000u, half);
        sink = utcFromSeconds(result.seconds, result.milliseconds).second + static_cast<std::uint32_t>(result.correction);
    });
    double timeCost = nanosecondsPerCall([&](int i) {
        TimeReplyResult result = computeTimeReply(3900000000u + static_cast<std::uint32_t>(i), 1690000000u,
                                                  1689999999u);
        sink = utcFromSeconds(result.adjusted, 500).second;
    });
    std::printf("Reply cost: NTP %.1f ns, RFC 868 %.1f ns per reply (check, arithmetic, calendar fields)\n", ntpCost,
                timeCost);
    return 0;
}
