// The NTP side of NTS (RFC 8915 section 5), without the cryptography: the
// extension fields (RFC 7822) that follow the 48-byte NTPv4 header, the
// request up to its Authenticator, and what an answer's layout says before
// its Authenticator is opened. NtsAuthenticator.h seals and opens it.
//
// Sizes: a request carries its cookie and as many placeholders as the pool
// wants cookies back, and the server answers with a cookie for each, so a
// request and its answer are both 124 bytes plus the cookie fields (each
// the cookie's length plus 4). The cookie fields are kept within 864
// bytes: 8 of chronyd's 100-byte cookies, or 3 of the largest taken, 256.
// Neither datagram then exceeds 988 bytes, well under the 1232 bytes of NTP
// that fit in the 1280-byte IPv6 minimum MTU with no fragmenting.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/Wire.h"
#include "net/nts/KeRecords.h"

namespace nts {

// IANA's NTP extension field types for NTS.
constexpr std::uint16_t kFieldUniqueId = 0x0104;
constexpr std::uint16_t kFieldCookie = 0x0204;
constexpr std::uint16_t kFieldCookiePlaceholder = 0x0304;
constexpr std::uint16_t kFieldAuthenticator = 0x0404;

constexpr std::size_t kFieldHeaderSize = 4;  // type, then length, both 16-bit
constexpr std::size_t kMinFieldSize = 16;    // RFC 7822; every length a multiple of 4

// Leap indicator 0, version 4 (extension fields exist only there), mode 3.
constexpr std::uint8_t kNtsRequestFirstByte = 0x23;
constexpr std::uint8_t kNtsVersion = 4;
// An NTS NAK: a kiss-o'-death whose code is "NTSN".
constexpr std::uint32_t kNakCode = 0x4E54534Eu;

constexpr std::size_t kUniqueIdSize = 32;   // RFC 8915's least, and what we send
constexpr std::size_t kAeadNonceSize = 16;  // RFC 8915's least unpadded nonce
using UniqueId = std::array<std::uint8_t, kUniqueIdSize>;
using AeadNonce = std::array<std::uint8_t, kAeadNonceSize>;

// The request's Authenticator: its header, the two lengths, the nonce and
// a ciphertext that is only the tag (the plaintext is empty).
constexpr std::size_t kRequestAuthenticatorSize = kFieldHeaderSize + 4 + kAeadNonceSize + kTagSize;
constexpr std::size_t kMaxCookieFieldBytes = 864;
constexpr std::size_t kMaxRequestSize = wire::kNtpPacketSize + kFieldHeaderSize + kUniqueIdSize +
                                        kMaxCookieFieldBytes + kRequestAuthenticatorSize;
// The receive buffer the NTS style needs: any answer to our requests, and a
// server's larger cookies after it changed its keys, up to what travels
// unfragmented.
constexpr std::size_t kAnswerBufferSize = 1232;
static_assert(kMaxRequestSize <= kAnswerBufferSize, "a request and its answer fit unfragmented");
static_assert(kMaxCookieFieldBytes / (kFieldHeaderSize + kMaxCookieSize) >= 1, "the largest cookie fits");

// Placeholders for a request whose cookie has cookieSize bytes, taken from
// a pool that keeps cookiesLeft: enough to bring the pool back to
// kMaxCookies, as far as kMaxCookieFieldBytes allows.
std::size_t placeholdersFor(std::size_t cookiesLeft, std::size_t cookieSize);

// The request before its Authenticator, which is what the Authenticator
// seals: the header with `nonce` as the transmit timestamp and every other
// byte 0 but the first, then the Unique Identifier, the cookie and
// `placeholders` placeholders of the cookie's length, zeros. Empty when the
// cookie could not go in a field (see KeRecords.h) or the placeholders
// exceed what placeholdersFor can give.
std::vector<std::uint8_t> requestBeforeAuthenticator(std::uint64_t nonce, const UniqueId& uniqueId,
                                                     const Cookie& cookie, std::size_t placeholders);

// One extension field inside data, by its position.
struct ExtensionField {
    std::uint16_t type;
    std::size_t offset;      // of its header
    std::size_t size;        // header, body and padding
    std::size_t bodyOffset;  // offset + kFieldHeaderSize
};
// The field at `offset` of a sequence that runs to `length`; false when
// its header does not fit, or its length is under kMinFieldSize, not a
// multiple of 4 or runs past `length`.
bool readExtensionField(const std::uint8_t* data, std::size_t length, std::size_t offset, ExtensionField& field);

enum class AnswerKind : std::uint8_t {
    Unusable,       // anything not below: dropped unread
    Nak,            // the server no longer takes our cookies: a new key exchange is due
    Sealed,         // (inspectAnswer only) well formed, its Authenticator still to be opened
    Authenticated,  // (readAnswer only) the Authenticator opened with the server's key
};

// An answer as inspectAnswer finds it. For Sealed, where the associated
// data ends (the Authenticator's offset) and where its nonce and
// ciphertext lie.
struct AnswerLayout {
    AnswerKind kind = AnswerKind::Unusable;
    wire::NtpHeader header{};
    std::size_t authenticatorOffset = 0;
    std::size_t nonceOffset = 0;
    std::size_t nonceLength = 0;
    std::size_t ciphertextOffset = 0;
    std::size_t ciphertextLength = 0;
};

// What RFC 8915 5.7 has the client check before any key is used: a
// version 4 server packet that echoes `origin` and carries nothing but
// well-formed fields, exactly one of them the Unique Identifier, equal to
// `uniqueId`. Then a NAK (stratum 0, "NTSN") is one whatever else it
// carries; anything else needs the Authenticator, last, its lengths
// inside its field, its nonce and padding as RFC 8915 5.6 lays them out,
// the padding zeros (so that no byte outside the sealed part can change
// unseen).
AnswerLayout inspectAnswer(const std::uint8_t* data, std::size_t length, std::uint64_t origin,
                           const UniqueId& uniqueId);

}  // namespace nts
