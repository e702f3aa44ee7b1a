#include "net/NtpStyle.h"

#include "net/Reply.h"
#include "platform/Random.h"

std::array<std::uint8_t, wire::kNtpPacketSize> ntpRequestPacket(std::uint64_t nonce) {
    std::array<std::uint8_t, wire::kNtpPacketSize> packet{};
    packet[0] = wire::kNtpRequestFirstByte;
    wire::writeBigEndian64(&packet[wire::kNtpTransmitOffset], nonce);
    return packet;
}

PreparedRequest NtpStyle::prepare(const std::string& server, const std::string& portText) {
    PreparedRequest request = resolvedRequest(server, portText);
    if (!request.ready) return request;
    if (!platform::cryptoRandom(&request.nonce, sizeof request.nonce)) return PreparedRequest::failed(RequestOutcome::NotSent);
    auto packet = ntpRequestPacket(request.nonce);
    request.datagram.assign(packet.begin(), packet.end());
    return request;
}

bool NtpStyle::judge(const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                     Sample& sample) const {
    return wire::decodeNtpHeader(data, length, sample.ntp) && judgeNtpHeader(sample, request.nonce);
}

RequestStyle& ntpStyle() {
    static NtpStyle style;
    return style;
}
