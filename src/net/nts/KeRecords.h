// The records of NTS Key Establishment (RFC 8915 section 4), which travel
// inside the TLS connection to the key-exchange server: the client's one
// request, and a parser for the server's response as its bytes arrive.
// Each record is a 16-bit word (the critical bit on top, the record type
// below), a 16-bit body length and the body, all big-endian.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/nts/Secret.h"

namespace nts {

// IANA's NTS-KE record types.
enum class KeRecordType : std::uint16_t {
    EndOfMessage = 0,
    NextProtocol = 1,
    Error = 2,
    Warning = 3,
    AeadAlgorithm = 4,
    NewCookie = 5,  // for NTPv4
    Server = 6,     // NTPv4 server negotiation
    Port = 7,       // NTPv4 port negotiation
};
constexpr std::uint16_t kKeCriticalBit = 0x8000;
constexpr std::uint16_t kNextProtocolNtpv4 = 0;

constexpr std::size_t kMaxKeResponseSize = 65536;  // bytes of records, End of Message included
constexpr std::size_t kMaxCookies = 8;             // kept from one response, and held by the pool
// A cookie goes back in an NTP extension field of its own length plus 4,
// which must be a multiple of 4 and at least 16 (RFC 7822); a longer
// cookie than the largest would crowd the request (see NtsPacket.h).
constexpr std::size_t kMinCookieSize = 12;
constexpr std::size_t kMaxCookieSize = 256;
constexpr std::size_t kMaxServerNameSize = 253;  // a full DNS name without its final dot

// Next Protocol NTPv4 and AEAD_AES_SIV_CMAC_256, then End of Message, all
// three critical: the AEAD record may be either (RFC 8915 4.1.5), and
// chrony marks it critical too.
std::vector<std::uint8_t> buildKeRequest();

// Why a key exchange gave nothing usable.
enum class KeFailure : std::uint8_t {
    None,
    ServerError,            // an Error record; its code in KeResponse::code
    ServerWarning,          // a Warning record; its code in KeResponse::code
    UnknownCriticalRecord,  // its type in KeResponse::code
    NextProtocolRefused,    // the server's Next Protocol list is empty or lacks NTPv4
    AeadRefused,            // the server's AEAD record is empty or names another algorithm
    MissingNextProtocol,
    MissingAead,
    NoCookie,
    DuplicateRecord,  // a second Next Protocol, AEAD, Server or Port record
    Malformed,        // a body of the wrong size, or a server name that is no host name or address
    TooLong,          // more than kMaxKeResponseSize bytes without End of Message
    Incomplete,       // the stream ended before End of Message
};

// Error codes of RFC 8915 4.1.3.
constexpr std::uint16_t kKeErrorUnrecognizedCritical = 0;
constexpr std::uint16_t kKeErrorBadRequest = 1;
constexpr std::uint16_t kKeErrorInternal = 2;

struct KeResponse {
    KeFailure failure = KeFailure::Incomplete;
    std::uint16_t code = 0;
    std::vector<Cookie> cookies;  // up to kMaxCookies, in the order sent
    std::string server;           // empty: ask the key-exchange server itself
    std::uint16_t port = 0;       // 0: the NTP port, 123

    bool succeeded() const { return failure == KeFailure::None; }
};

// Fed the response's bytes as TLS hands them over, in pieces of any size.
// The outcome is known at End of Message, or at the first record that
// decides a failure; bytes after that are not looked at. On failure no
// cookie is kept.
class KeResponseParser {
public:
    KeResponseParser() = default;
    ~KeResponseParser();
    KeResponseParser(const KeResponseParser&) = delete;
    KeResponseParser& operator=(const KeResponseParser&) = delete;

    // True once the outcome is known.
    bool feed(const std::uint8_t* data, std::size_t length);
    bool done() const { return done_; }
    // The outcome, handed over once; Incomplete while not done (the
    // connection closed early).
    KeResponse take();

private:
    void handleRecord(bool critical, std::uint16_t type, const std::uint8_t* body, std::size_t length);
    void handleEnd();
    void fail(KeFailure failure, std::uint16_t code = 0);

    std::vector<std::uint8_t> pending_;  // the start of a record not yet whole
    std::size_t received_ = 0;
    bool done_ = false;
    bool sawNextProtocol_ = false;
    bool sawAead_ = false;
    bool sawServer_ = false;
    bool sawPort_ = false;
    KeResponse response_;
};

}  // namespace nts
