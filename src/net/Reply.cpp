#include "net/Reply.h"

#include <cstring>

#include "net/RequestStyle.h"

std::optional<Sample> judgeReply(const RequestRecord& request, const CInetAddr& from, const std::uint8_t* data,
                                 std::size_t length, const ReplyMoment& moment) {
    if (!request.sent || request.answered || request.style == nullptr) return std::nullopt;
    if (from.port != request.port || std::memcmp(from.address, request.address, sizeof from.address) != 0) {
        return std::nullopt;
    }
    if (moment.sinceBootMs - request.startedMs > kReplyWindowMs) return std::nullopt;
    // Longer than the style's receive buffer: too long, as the socket would
    // have dropped it with a buffer of that size.
    if (length > request.style->largestAnswer()) return std::nullopt;
    Sample sample;
    if (!request.style->judge(request, data, length, sample)) return std::nullopt;
    sample.style = request.style;
    sample.server = request.server;
    sample.sentSeconds = request.sentSeconds;
    sample.sentCounter = request.sentCounter;
    sample.received = moment;
    return sample;
}

namespace {

KissCode kissCodeOf(const wire::NtpHeader& header) {
    const char* code = header.referenceId;
    if (std::memcmp(code, "RATE", 4) == 0) return KissCode::Rate;
    if (std::memcmp(code, "DENY", 4) == 0) return KissCode::Deny;
    if (std::memcmp(code, "RSTR", 4) == 0) return KissCode::Restricted;
    return KissCode::Other;
}

}  // namespace

bool judgeNtpHeader(Sample& sample, std::uint64_t nonce) {
    const wire::NtpHeader& header = sample.ntp;
    if (header.mode != wire::kNtpModeServer) return false;
    if (header.origin != nonce) return false;
    if (header.stratum == wire::kStratumKissOfDeath) {
        sample.kiss = true;
        sample.kissCode = kissCodeOf(header);
        return true;
    }
    if (header.leap == wire::kLeapNotSynchronized || header.stratum >= wire::kStratumUnsynchronized) return false;
    if (std::uint64_t{header.rootDelay} / 2 + header.rootDispersion > kMaxRootDistance) return false;
    return header.transmit != 0;
}
