#include "net/Resolve.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "errors/Exceptions.h"
#include "net/Socket.h"
#include "platform/Sockets.h"
#include "platform/WinsockErrors.h"

namespace {

constexpr std::size_t kWorkSize = kServerTextLimit + 1;
constexpr int kAddressNumbers = 4;
// The service database is asked for TCP entries, although requests go by
// UDP; the well-known time ports are the same for both.
const char kServiceProtocol[] = "tcp";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

int leadingNumber(const char* text) {
    if (text == nullptr) return 0;
    while (isBlank(*text)) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long value = 0;
    for (; isDigit(*text); ++text) {
        value = std::min(value * 10 + (*text - '0'), limit);
    }
    return static_cast<int>(negative ? -value : value);
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
    // The work buffer holds at most kServerTextLimit characters. Refusing a
    // longer text, rather than cutting it, never sends to a half-read name.
    std::size_t length = std::strlen(serverText);
    if (length > kServerTextLimit) {
        throw CSocketException(wsa::kNameTooLong, "server text longer than %d characters",
                               static_cast<int>(kServerTextLimit));
    }
    char work[kWorkSize] = "";

    if (isDigit(serverText[0])) {
        // Dotted form. Any run of non-digits separates the numbers, so a
        // trailing port word can only start with a digit. The text fits the
        // work buffer, so neither can the word overflow it.
        int numbers[kAddressNumbers] = {0, 0, 0, 0};
        int scanned = std::sscanf(serverText, " %d %*[^0-9] %d %*[^0-9] %d %*[^0-9] %d %*[^0-9] %s", &numbers[0],
                                  &numbers[1], &numbers[2], &numbers[3], work);
        // Each number lands as a little-endian 32-bit value at its own byte;
        // its high bits spill into the next bytes until the next number
        // overwrites them (10.300 gives 10, 44, 1, 0). The spare bytes take
        // the spill past the fourth.
        std::uint8_t bytes[kAddressNumbers + 3] = {};
        int count = std::clamp(scanned, 0, kAddressNumbers);
        for (int i = 0; i < count; ++i) {
            std::uint32_t value = static_cast<std::uint32_t>(numbers[i]);
            for (int b = 0; b < 4; ++b) bytes[i + b] = static_cast<std::uint8_t>(value >> (8 * b));
        }
        std::memcpy(address, bytes, sizeof address);
        port = lookupPort(work[0] != '\0' ? work : defaultPortText, kServiceProtocol);
    } else {
        // Host-name form, split at the last ':', or failing that the last ' '.
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
