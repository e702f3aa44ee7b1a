#include "net/Request.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <thread>

#include "errors/Exceptions.h"
#include "net/RequestStyle.h"
#include "net/Sample.h"
#include "platform/Clock.h"

void requestTime(AppState& state, CSocket& socket) {
    // One read of the port text, so that the style and the destination agree.
    std::string portText = state.port.get();
    requestTime(state, socket, chooseRequestStyle(portText.c_str()), portText);
}

void requestTime(AppState& state, CSocket& socket, RequestStyle& style, const std::string& portText) {
    std::string server = state.timeServer.get();
    if (server.empty()) return;
    std::uint32_t serial = 0;
    try {
        RequestRecord record;
        record.style = &style;
        record.server = server;
        record.startedMs = platform::sinceBootMs();
        serial = state.lastRequest.begin(record);

        PreparedRequest request = record.style->prepare(server, portText);
        if (!request.ready) {
            state.lastRequest.failed(serial, request.outcome, request.error, request.subject);
            return;
        }
        // The record is complete before the datagram leaves, so that a
        // quick reply already finds it.
        Departure departure;
        std::copy(request.destination.address, request.destination.address + 4, departure.address);
        departure.port = request.destination.port;
        departure.nonce = request.nonce;
        departure.memory = request.memory;
        departure.sentSeconds = currentSeconds();
        departure.sentCounter = platform::counterNow();
        if (!state.lastRequest.sending(serial, departure)) return;
        const std::uint8_t nothing = 0;  // RFC 868's request is empty
        const std::uint8_t* bytes = request.datagram.empty() ? &nothing : request.datagram.data();
        socket.sendTo(bytes, static_cast<int>(request.datagram.size()), 0, request.destination);
    } catch (CSocketException failure) {
        // Background work: nothing is shown but the settings dialog's notice.
        state.lastRequest.failed(serial, RequestOutcome::SendFailed, failure.code);
    } catch (const std::exception&) {
        // Nor may anything else that fails here end the program.
        state.lastRequest.failed(serial, RequestOutcome::NotSent, 0);
    }
}

void startRequest(AppState& state, CSocket& socket) {
    try {
        std::thread([&state, &socket] { requestTime(state, socket); }).detach();
    } catch (const std::system_error&) {
        // No thread, no request; the next poll tries again.
    }
}
