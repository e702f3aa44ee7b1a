#include "net/Rfc868Style.h"

PreparedRequest Rfc868Style::prepare(const std::string& server, const std::string& portText) {
    // The empty datagram is the whole request.
    return resolvedRequest(server, portText);
}

bool Rfc868Style::judge(const RequestRecord&, const std::uint8_t* data, std::size_t length, Sample& sample) const {
    return length == wire::kTimeReplySize && wire::readBigEndian32(data, length, 0, sample.wireSeconds);
}

RequestStyle& rfc868Style() {
    static Rfc868Style style;
    return style;
}
