#include "net/Request.h"

#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "errors/Exceptions.h"
#include "net/Reply.h"
#include "net/Resolve.h"
#include "platform/Clock.h"

namespace {

constexpr int kNtpPort = 123;

bool equalsIgnoringCase(const char* text, const char* lowerCase) {
    for (; *text != '\0' && *lowerCase != '\0'; ++text, ++lowerCase) {
        char c = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text - 'A' + 'a') : *text;
        if (c != *lowerCase) return false;
    }
    return *text == '\0' && *lowerCase == '\0';
}

}  // namespace

RequestStyle chooseRequestStyle(const char* portText) {
    if (equalsIgnoringCase(portText, "ntp") || leadingNumber(portText) == kNtpPort) return RequestStyle::Ntp;
    return RequestStyle::Time;
}

std::array<std::uint8_t, wire::kNtpPacketSize> ntpRequestPacket() {
    std::array<std::uint8_t, wire::kNtpPacketSize> packet{};
    packet[0] = wire::kNtpRequestFirstByte;
    return packet;
}

void requestTime(AppState& state, CSocket& socket) {
    // One read of each text, so that resolving and the style agree.
    std::string server = state.timeServer.get();
    if (server.empty()) return;
    // Until a reply says otherwise; the display then runs a second behind.
    state.correction = -1;
    state.shownCorrection = -1;
    std::string portText = state.port.get();
    try {
        CInetAddr destination;
        destination.resolve(server.c_str(), portText.c_str(), kAfInet);

        RequestRecord request;
        request.sent = true;
        request.style = chooseRequestStyle(portText.c_str());
        std::memcpy(request.address, destination.address, sizeof request.address);
        request.port = destination.port;
        // The record is in place before the datagram leaves, so that a
        // quick reply already finds it.
        if (request.style == RequestStyle::Time) {
            request.sendStamp = currentSeconds();
            state.lastRequest.set(request);
            const std::uint8_t nothing = 0;
            socket.sendTo(&nothing, 0, 0, destination);
        } else {
            auto packet = ntpRequestPacket();
            request.sendStamp = static_cast<std::uint32_t>(platform::counterNow());
            state.lastRequest.set(request);
            socket.sendTo(packet.data(), static_cast<int>(packet.size()), 0, destination);
        }
    } catch (CSocketException) {
        // Background work: an unknown host or a failed send shows nothing;
        // the next poll tries again.
    } catch (const std::exception&) {
        // Nor may anything else that fails here end the program.
    }
}

void startRequest(AppState& state, CSocket& socket) {
    try {
        std::thread(requestTime, std::ref(state), std::ref(socket)).detach();
    } catch (const std::system_error&) {
        // No thread, no request; the next poll tries again.
    }
}
