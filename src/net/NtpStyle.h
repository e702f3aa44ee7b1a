// A minimal NTP client request (version 1, client mode), answered by an
// NTP server packet.
#pragma once
#include <array>
#include <cstdint>

#include "net/RequestStyle.h"

// 0x0B (version 1, client mode), zeros, and `nonce` as the transmit
// timestamp: 64 random bits that a genuine reply echoes as its origin. Our
// clock's reading would tell a stranger what to forge, and the server
// needs nothing of it.
std::array<std::uint8_t, wire::kNtpPacketSize> ntpRequestPacket(std::uint64_t nonce);

class NtpStyle : public RequestStyle {
public:
    const char* name() const override { return "NTP"; }
    // Without random bits for the nonce nothing is sent: no answer could be
    // told from a forgery.
    PreparedRequest prepare(const std::string& server, const std::string& portText) override;
    // A whole server packet that passes judgeNtpHeader against the nonce.
    // Four bytes cannot echo it: an NTP request takes only NTP.
    bool judge(const RequestRecord& request, const std::uint8_t* data, std::size_t length,
               Sample& sample) const override;
    ClockCorrection clockCorrection(const Sample& sample) const override {
        return clockCorrectionFromTransmit(sample);
    }
    std::int64_t serviceOffset(const Sample& sample) const override { return offsetFromTimestamps(sample); }
};
