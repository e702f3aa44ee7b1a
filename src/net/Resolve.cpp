#include "net/Resolve.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "errors/Exceptions.h"
#include "errors/TextRules.h"
#include "net/Socket.h"
#include "platform/Sockets.h"
#include "platform/WinsockErrors.h"

using text::isDigit;

namespace {

// The service database is asked for TCP entries, although requests go by
// UDP; the well-known time ports are the same for both.
const char kServiceProtocol[] = "tcp";

}  // namespace

int leadingNumber(const char* text) {
    if (text == nullptr) return 0;
    // Up to 2^31, which only a negative number reaches.
    text::SignedDecimal read = text::readLeadingDecimal(text, std::uint64_t{INT_MAX} + 1);
    auto magnitude = static_cast<long long>(read.magnitude.value);
    return static_cast<int>(read.negative ? -magnitude : std::min<long long>(magnitude, INT_MAX));
}

DottedForm scanDottedForm(const char* serverText) {
    DottedForm form;
    const char* at = serverText;
    while (form.count < kAddressNumbers && isDigit(*at)) {
        text::Decimal number = text::readDecimal(at, INT_MAX);
        form.numbers[form.count++] = static_cast<std::uint32_t>(number.value);
        at += number.digits;
        // The separator: white space, then a run of other non-digits.
        while (text::isSpace(*at)) ++at;
        if (*at == '\0' || isDigit(*at)) return form;
        while (*at != '\0' && !isDigit(*at)) ++at;
    }
    if (form.count == kAddressNumbers) {
        const char* wordEnd = at;
        while (*wordEnd != '\0' && !text::isSpace(*wordEnd)) ++wordEnd;
        form.portWord.assign(at, wordEnd);
    }
    return form;
}

std::uint16_t lookupPort(const char* text, const char* protocolName) {
    if (isDigit(text[0])) return static_cast<std::uint16_t>(leadingNumber(text));
    std::uint16_t port = 0;
    if (platform::sockets::lookupService(text, protocolName, port)) return port;
    // Requests travel over UDP: a service the database lists for UDP only,
    // as it lists "ntp", must not send them to port 0.
    if (std::strcmp(protocolName, "udp") != 0 && platform::sockets::lookupService(text, "udp", port)) return port;
    return 0;
}

namespace {

// Where the host-name form splits off its port text: at the last ':', or
// failing that the last ' '; null when it has neither.
const char* portSeparatorOf(const char* text) {
    const char* separator = std::strrchr(text, ':');
    return separator != nullptr ? separator : std::strrchr(text, ' ');
}

}  // namespace

std::string hostNameOf(const char* serverText) {
    if (serverText == nullptr) return {};
    const char* separator = isDigit(serverText[0]) ? nullptr : portSeparatorOf(serverText);
    return separator != nullptr ? std::string(serverText, separator) : std::string(serverText);
}

CInetAddr& CInetAddr::resolve(const char* serverText, const char* defaultPortText, int addressFamily) {
    if (serverText == nullptr) serverText = "";
    // Refusing a longer text, rather than cutting it, never sends to a
    // half-read name.
    std::size_t length = std::strlen(serverText);
    if (length > kServerTextLimit) {
        throw CSocketException(wsa::kNameTooLong, "server text longer than %d characters",
                               static_cast<int>(kServerTextLimit));
    }
    if (isDigit(serverText[0])) {
        // Each number lands as a little-endian 32-bit value at its own byte;
        // its high bits spill into the next bytes until the next number
        // overwrites them (10.300 gives 10, 44, 1, 0). The spare bytes take
        // the spill past the fourth.
        DottedForm form = scanDottedForm(serverText);
        std::uint8_t bytes[kAddressNumbers + 3] = {};
        for (int i = 0; i < form.count; ++i) {
            for (int b = 0; b < 4; ++b) bytes[i + b] = static_cast<std::uint8_t>(form.numbers[i] >> (8 * b));
        }
        std::memcpy(address, bytes, sizeof address);
        port = lookupPort(!form.portWord.empty() ? form.portWord.c_str() : defaultPortText, kServiceProtocol);
    } else {
        // Host-name form, split at the last ':', or failing that the last ' '.
        char work[kServerTextLimit + 1];
        std::memcpy(work, serverText, length + 1);
        const char* separator = portSeparatorOf(serverText);
        const char* portText = nullptr;
        if (separator != nullptr) {
            auto at = static_cast<std::size_t>(separator - serverText);
            work[at] = '\0';
            portText = work + at + 1;
        } else {
            port = lookupPort(defaultPortText, kServiceProtocol);
        }
        if (!platform::sockets::lookupHost(work, address)) throw CSocketException(0, "gethostbyname failed");
        if (portText != nullptr) port = lookupPort(portText, kServiceProtocol);
    }

    family = static_cast<std::uint16_t>(addressFamily);
    std::memset(zero, 0, sizeof zero);
    return *this;
}
