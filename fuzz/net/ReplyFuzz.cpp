// The reply path: a datagram, its sender, the moment it came and the latest
// request record with its nonce in; the verdict and the state changes out.
// An answer may only come from where the request went, in time, once and
// in its style, an NTP one echoing the nonce; a kiss never moves the time,
// and the clock an answer sets must agree with the correction it leaves.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "FuzzInput.h"
#include "net/AnswerPolicy.h"
#include "net/Reply.h"
#include "net/RequestStyle.h"
#include "net/Wire.h"

namespace {

int clockCalls = 0;
platform::UtcTime lastSetting{};

platform::ClockSetting recordSetting(const platform::UtcTime& utc) {
    ++clockCalls;
    lastSetting = utc;
    return platform::ClockSetting::Done;
}

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// The setting as seconds since 1970, by the C library's own calendar.
std::uint32_t secondsOf(const platform::UtcTime& utc) {
    std::tm fields{};
    fields.tm_year = utc.year - 1900;
    fields.tm_mon = utc.month - 1;
    fields.tm_mday = utc.day;
    fields.tm_hour = utc.hour;
    fields.tm_min = utc.minute;
    fields.tm_sec = utc.second;
    return static_cast<std::uint32_t>(timegm(&fields));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::uint8_t flags = input.byte();
    RequestRecord request;
    request.serial = 1;
    request.sent = (flags & 1) != 0;
    request.answered = (flags & 16) != 0;
    request.style = (flags & 2) != 0 ? &ntpStyle() : &rfc868Style();
    request.server = "time.example";
    // The stamp of sending, read as either style's arithmetic reads it.
    request.sentSeconds = input.number<std::uint32_t>();
    request.sentCounter = request.sentSeconds;
    request.nonce = input.number<std::uint64_t>();
    request.startedMs = input.number<std::uint32_t>();
    const std::int64_t receivedMs = request.startedMs + input.number<std::uint16_t>();  // up to 65 s on
    for (std::uint8_t& part : request.address) part = input.byte();
    request.port = input.number<std::uint16_t>();

    CInetAddr from;
    from.family = kAfInet;
    std::memcpy(from.address, request.address, sizeof from.address);
    from.port = request.port;
    if ((flags & 8) != 0) {  // a stray sender, who may still guess right
        for (std::uint8_t& part : from.address) part = input.byte();
        from.port = input.number<std::uint16_t>();
    }

    ReplyMoment moment{};
    moment.sinceBootMs = receivedMs;
    moment.now = input.number<std::uint32_t>();
    moment.counter = input.number<std::uint64_t>();
    moment.frequency = input.number<std::uint64_t>();
    AppState state;
    state.setSystemClock = (flags & 4) != 0 ? 1 : 0;
    state.pollPeriod = input.number<std::uint32_t>();
    state.backoffSeconds = input.number<std::uint32_t>();
    const std::uint32_t nextPollBefore = input.number<std::uint32_t>();
    state.nextPollTime = nextPollBefore;
    // The receive buffer never holds more.
    std::vector<std::uint8_t> datagram = input.bytes(wire::kReceiveBufferSize);
    // Most genuine answers echo the nonce; let the fuzzer reach past that
    // check without guessing 64 bits.
    if ((flags & 32) != 0 && datagram.size() >= wire::kNtpOriginOffset + 8)
        wire::writeBigEndian64(&datagram[wire::kNtpOriginOffset], request.nonce);

    std::optional<Sample> sample = judgeReply(request, from, datagram.data(), datagram.size(), moment);
    if (!sample) return 0;
    bool sameSender = std::memcmp(from.address, request.address, sizeof from.address) == 0 && from.port == request.port;
    FUZZ_CHECK(request.sent && !request.answered && sameSender);
    FUZZ_CHECK(receivedMs - request.startedMs <= kReplyWindowMs);
    FUZZ_CHECK(sample->style == request.style && sample->server == request.server);
    if (request.style == &rfc868Style()) {
        FUZZ_CHECK(datagram.size() == wire::kTimeReplySize && !sample->kiss);
    } else {
        // A server packet that echoes the nonce; never a client packet, an
        // unsynchronized server or a far root.
        const wire::NtpHeader& header = sample->ntp;
        FUZZ_CHECK(datagram.size() >= wire::kNtpPacketSize);
        FUZZ_CHECK(header.mode == wire::kNtpModeServer && header.origin == request.nonce);
        FUZZ_CHECK((header.stratum == wire::kStratumKissOfDeath) == sample->kiss);
        if (!sample->kiss) {
            FUZZ_CHECK(header.leap != wire::kLeapNotSynchronized && header.stratum < wire::kStratumUnsynchronized);
            FUZZ_CHECK(header.transmit != 0);
            FUZZ_CHECK(std::uint64_t{header.rootDelay} / 2 + header.rootDispersion <= kMaxRootDistance);
        }
    }

    clockCalls = 0;
    platform::SystemClockSetterFn previous = platform::replaceSystemClockSetter(recordSetting);
    handleReply(state, *sample);
    platform::replaceSystemClockSetter(previous);

    if (sample->kiss) {
        FUZZ_CHECK(clockCalls == 0 && state.correction == 0 && state.lastResponseTime == 0);
        if (sample->kissCode == KissCode::Rate) {
            FUZZ_CHECK(state.backoffSeconds >= kMinRateBackoffSeconds);
            std::uint64_t period = std::uint64_t{state.pollPeriod} * kSecondsPerMinute;
            FUZZ_CHECK(state.backoffSeconds <= kMaxRateBackoffSeconds ||
                       state.backoffSeconds == std::min<std::uint64_t>(period, UINT32_MAX));
            FUZZ_CHECK(state.backoffSeconds >= std::min<std::uint64_t>(period, UINT32_MAX));
            FUZZ_CHECK(state.nextPollTime == moment.now + state.backoffSeconds);
        } else {
            FUZZ_CHECK(state.nextPollTime == nextPollBefore);
        }
        bool refuses = sample->kissCode == KissCode::Deny || sample->kissCode == KissCode::Restricted;
        FUZZ_CHECK((state.refusedServer.get() == request.server) == refuses);
        return 0;
    }
    FUZZ_CHECK(state.backoffSeconds == 0 && state.refusedServer.get().empty());
    FUZZ_CHECK(state.nextPollTime == nextPollAfter(moment.now, state.pollPeriod));
    FUZZ_CHECK(clockCalls == (state.setSystemClock != 0 ? 1 : 0));
    if (clockCalls == 1) {
        const platform::UtcTime& set = lastSetting;
        FUZZ_CHECK(set.year >= 1970 && set.year <= 2106);
        FUZZ_CHECK(set.month >= 1 && set.month <= 12);
        FUZZ_CHECK(set.day >= 1 && set.day <= daysInMonth(set.year, set.month));
        FUZZ_CHECK(set.hour >= 0 && set.hour < 24 && set.minute >= 0 && set.minute < 60);
        FUZZ_CHECK(set.second >= 0 && set.second < 60);
        FUZZ_CHECK(set.milliseconds >= 0 && set.milliseconds <= 999);
        // The clock goes where the correction says it is off.
        FUZZ_CHECK(secondsOf(set) == moment.now + static_cast<std::uint32_t>(state.correction.load()));
    }
    return 0;
}
