#include "service/TimeService.h"

#include "net/Wire.h"
#include "platform/Clock.h"

namespace service {
namespace {

constexpr std::uint64_t kHalfSecond = std::uint64_t{1} << (wire::kNtpFractionBits - 1);

Setting settingOf(platform::ClockSetting outcome) {
    switch (outcome) {
        case platform::ClockSetting::Done:
            return Setting::Done;
        case platform::ClockSetting::NotAllowed:
            return Setting::Refused;
        case platform::ClockSetting::NotTried:
        case platform::ClockSetting::Failed:
            break;
    }
    return Setting::Failed;
}

}  // namespace

std::optional<std::uint64_t> serverTimeAtReceipt(const RequestRecord& request, ReplyKind kind,
                                                 const std::uint8_t* data, std::size_t length,
                                                 const ReplyMoment& moment) {
    if (kind == ReplyKind::Time) {
        std::uint32_t wireSeconds = 0;
        if (!wire::readBigEndian32(data, length, 0, wireSeconds)) return std::nullopt;
        TimeReplyResult result = computeTimeReply(wireSeconds, moment.now, request.sendStamp);
        auto seconds = static_cast<std::uint32_t>(result.adjusted + wire::kSeconds1900To1970);
        return (std::uint64_t{seconds} << wire::kNtpFractionBits) | kHalfSecond;
    }
    if (kind != ReplyKind::Ntp || length < wire::kNtpPacketSize) return std::nullopt;
    std::uint64_t t4 = ntpTimestampOfUs(moment.wallUs);
    std::uint64_t t1 =
        ntpTimestampOfUs(moment.wallUs - sinceSendUs(moment.counter, moment.frequency, request.sendStamp));
    std::uint64_t t2 = wire::readBigEndian64(data, wire::kNtpReceiveOffset);
    std::uint64_t t3 = wire::readBigEndian64(data, wire::kNtpTransmitOffset);
    return t4 + static_cast<std::uint64_t>(ntpOffset(t1, t2, t3, t4));
}

TimeService::TimeService(AppState& state, const Settings& settings)
    : state_(state), maxStepSeconds_(settings.maxStep) {
    state_.timeServer.set(settings.timeServer);
    state_.port.set(settings.port);
    state_.pollPeriod = settings.pollPeriod;
    // The service sets the clock itself, from the offset to the millisecond.
    state_.setSystemClock = 0;
}

bool TimeService::askNow(std::int64_t sinceBootMs) {
    if (lastNowMs_ && sinceBootMs - *lastNowMs_ < kNowSpacingMs) return false;
    lastNowMs_ = sinceBootMs;
    nowPending_ = true;
    return true;
}

bool TimeService::tick(std::uint32_t now, std::int64_t sinceBootMs) {
    // A "now" is an extra request, as a step of the clock is to the clock.
    PollDecision decision = plan_.tick(pollViewOf(state_, now, sinceBootMs, nowPending_));
    nowPending_ = false;
    if (decision.reason == PollReason::None) return false;
    state_.nextPollTime = decision.nextPollTime;
    return true;
}

std::optional<Result> TimeService::handle(const RequestRecord& request, const ReplyVerdict& verdict,
                                          const std::uint8_t* data, std::size_t length,
                                          const ReplyMoment& moment) {
    if (verdict.kind == ReplyKind::Kiss) {
        handleKiss(state_, request, verdict.kiss, moment);
        return std::nullopt;
    }
    std::optional<std::uint64_t> serverTime = serverTimeAtReceipt(request, verdict.kind, data, length, moment);
    if (!serverTime) return std::nullopt;
    auto offset = static_cast<std::int64_t>(*serverTime - ntpTimestampOfUs(moment.wallUs));

    Result result;
    result.when = static_cast<std::uint32_t>(*serverTime >> wire::kNtpFractionBits) - wire::kSeconds1900To1970;
    result.server = request.server;
    result.offsetMs = nearestMilliseconds(offset);
    std::int64_t limitMs = std::int64_t{maxStepSeconds_} * wire::kMillisecondsPerSecond;
    if (result.offsetMs > limitMs || result.offsetMs < -limitMs) {
        result.setting = Setting::Skipped;
    } else {
        state_.lastClockSettingMs = moment.sinceBootMs;
        result.setting = settingOf(platform::setSystemClock(utcOfNtpTimestamp(*serverTime)));
    }
    state_.correction = static_cast<std::int32_t>(result.offsetMs / wire::kMillisecondsPerSecond);
    recordUsableAnswer(state_, result.when, moment.now);
    return result;
}

}  // namespace service
