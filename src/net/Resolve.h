// Turning the configured server text and port text into a destination.
// CInetAddr::resolve itself is declared with the record in net/Socket.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The longest server text the resolver takes; a longer one is refused
// (CSocketException with wsa::kNameTooLong) and nothing is sent.
constexpr std::size_t kServerTextLimit = 127;

// atoi's reading of a number: leading blanks, an optional sign, the digits
// up to the first other character, 0 when there are none. Out-of-range
// values stop at the int limits instead of being undefined.
int leadingNumber(const char* text);

// The dotted form of a server text that starts with a digit, as the C
// library's " %d %*[^0-9] %d %*[^0-9] %d %*[^0-9] %d %*[^0-9] %s" reads it:
// up to four numbers, each ended by a separator (white space, then at least
// one other non-digit, then any run of non-digits), and after the fourth's
// separator the port word, up to white space. A separator of white space
// alone ends the reading. A number above INT_MAX reads as INT_MAX, as the
// Windows C library's %d reads it (glibc's keeps the low 32 bits instead).
constexpr int kAddressNumbers = 4;
struct DottedForm {
    int count = 0;  // the numbers read
    std::uint32_t numbers[kAddressNumbers] = {};
    std::string portWord;  // empty when there is none
};
DottedForm scanDottedForm(const char* serverText);

// A port in host order: the leading digits of text kept to 16 bits when it
// starts with a digit, otherwise the service database's port for text and
// protocolName (or, failing that, for "udp"), or 0 when the database has no
// such entry.
std::uint16_t lookupPort(const char* text, const char* protocolName);

// The host name CInetAddr::resolve looks up in a server text: the text
// before its last ':', or failing that its last ' '; the whole text when
// it has neither, or is in the dotted form, which is never looked up.
std::string hostNameOf(const char* serverText);
