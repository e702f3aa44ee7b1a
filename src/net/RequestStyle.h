// How a request asks for the time. Each style is one object: it prepares
// its request (resolving the server, building the datagram), keeps what it
// must remember of it, judges and decodes the answers, and says what an
// answer means to the clock and to the time service. Nothing else in the
// program asks which style it has.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/RequestRecord.h"
#include "net/Sample.h"
#include "net/Socket.h"
#include "net/Wire.h"

// A request ready to leave, or why there is none.
struct PreparedRequest {
    bool ready = false;
    // When not ready.
    RequestOutcome outcome = RequestOutcome::NotSent;
    int error = 0;
    std::string subject;
    // When ready.
    CInetAddr destination;
    std::vector<std::uint8_t> datagram;
    std::uint64_t nonce = 0;
    std::shared_ptr<const StyleData> memory;

    static PreparedRequest failed(RequestOutcome outcome, int error = 0, std::string subject = {});
};

// What the notice of a server that does not answer suggests.
enum class NoAnswerAdvice : std::uint8_t {
    CheckConnection,  // the server's name and this computer's connection
    TryNtp,           // many servers answer only NTP
};

class RequestStyle {
public:
    virtual ~RequestStyle() = default;

    // Its name for people: "RFC 868", "NTP", "NTS".
    virtual const char* name() const = 0;
    // The longest answer it takes; the receiving thread drops a longer
    // datagram as too long.
    virtual std::size_t largestAnswer() const { return wire::kReceiveBufferSize; }
    virtual NoAnswerAdvice noAnswerAdvice() const { return NoAnswerAdvice::CheckConnection; }

    // On the request's thread: resolves `server` (with `portText` as its
    // default port) and builds the datagram.
    virtual PreparedRequest prepare(const std::string& server, const std::string& portText) = 0;
    // A datagram from the request's destination within its window: true
    // when it is this style's answer (or kiss) to `request`, decoded into
    // `sample`'s server fields.
    virtual bool judge(const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                       Sample& sample) const = 0;
    // On the receiving thread, once `sample` has been taken as the answer
    // to its request (never for a second copy of it).
    virtual void taken(const Sample&) {}
    // What the clock makes of one of its answers, and the time service.
    virtual ClockCorrection clockCorrection(const Sample& sample) const = 0;
    virtual std::int64_t serviceOffset(const Sample& sample) const = 0;
};

// The style the port setting text chooses, never a port inside the server
// text: "ntp" in any letter case, or a number reading 123, is NTP; "nts"
// in any letter case is NTS; anything else RFC 868.
RequestStyle& chooseRequestStyle(const char* portText);
RequestStyle& rfc868Style();
RequestStyle& ntpStyle();
RequestStyle& ntsStyle();
// The receive buffer that holds the longest answer of any style.
std::size_t largestAnswerOfAnyStyle();

// Resolves `server` for a style that asks it directly: the destination, or
// the outcome NameNotFound with the Winsock error and the name.
PreparedRequest resolvedRequest(const std::string& server, const std::string& portText);
