#include "net/Request.h"

#include <string>
#include <system_error>
#include <thread>

#include "errors/Exceptions.h"
#include "net/Reply.h"
#include "net/Resolve.h"
#include "platform/Clock.h"
#include "platform/Random.h"

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

std::array<std::uint8_t, wire::kNtpPacketSize> ntpRequestPacket(std::uint64_t nonce) {
    std::array<std::uint8_t, wire::kNtpPacketSize> packet{};
    packet[0] = wire::kNtpRequestFirstByte;
    wire::writeBigEndian64(&packet[wire::kNtpTransmitOffset], nonce);
    return packet;
}

void requestTime(AppState& state, CSocket& socket) {
    // One read of each text, so that resolving and the style agree.
    std::string server = state.timeServer.get();
    if (server.empty()) return;
    std::string portText = state.port.get();
    try {
        RequestRecord request;
        request.style = chooseRequestStyle(portText.c_str());
        request.server = server;
        request.startedMs = platform::sinceBootMs();
        std::uint32_t serial = state.lastRequest.begin(request);

        CInetAddr destination;
        destination.resolve(server.c_str(), portText.c_str(), kAfInet);
        // The record is complete before the datagram leaves, so that a
        // quick reply already finds it.
        if (request.style == RequestStyle::Time) {
            if (!state.lastRequest.sending(serial, destination.address, destination.port, currentSeconds(), 0)) return;
            const std::uint8_t nothing = 0;
            socket.sendTo(&nothing, 0, 0, destination);
        } else {
            std::uint64_t nonce = 0;
            // Without a nonce no reply could be told from a forgery.
            if (!platform::cryptoRandom(&nonce, sizeof nonce)) return;
            auto packet = ntpRequestPacket(nonce);
            auto stamp = static_cast<std::uint32_t>(platform::counterNow());
            if (!state.lastRequest.sending(serial, destination.address, destination.port, stamp, nonce)) return;
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
