// The time protocol of RFC 868 over UDP: an empty datagram, answered by
// four bytes of seconds since 1900.
#pragma once
#include "net/RequestStyle.h"

class Rfc868Style : public RequestStyle {
public:
    const char* name() const override { return "RFC 868"; }
    // Many servers, several of the built-in ones among them, answer only
    // NTP.
    NoAnswerAdvice noAnswerAdvice() const override { return NoAnswerAdvice::TryNtp; }
    PreparedRequest prepare(const std::string& server, const std::string& portText) override;
    // Exactly four bytes; nothing in them can tell an answer from a
    // stranger's datagram but where and when it came from.
    bool judge(const RequestRecord& request, const std::uint8_t* data, std::size_t length,
               Sample& sample) const override;
    ClockCorrection clockCorrection(const Sample& sample) const override { return clockCorrectionFromSeconds(sample); }
    std::int64_t serviceOffset(const Sample& sample) const override { return offsetFromSeconds(sample); }
};
