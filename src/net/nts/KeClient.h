// The NTS key exchange (RFC 8915 section 4), the client's side: TLS 1.3
// to the server's key-exchange port, ALPN "ntske/1", its certificate
// verified, the request of KeRecords.h sent, the response read, and the
// two keys exported. Runs on the calling thread, bounded in time.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "net/nts/KeRecords.h"
#include "net/nts/Secret.h"

namespace nts {

constexpr std::uint16_t kKeDefaultPort = 4460;
constexpr std::uint16_t kNtpDefaultPort = 123;

// How a key exchange ended.
enum class KeOutcome : std::uint8_t {
    Done,
    NameNotFound,           // the server's name (or the Server record's) was not found; `error`
    NoConnection,           // refused, unreachable, or silent until the timeout; `error`
    CertificateUntrusted,   // no chain to a trusted root
    CertificateName,        // the certificate is for another name; `subject` is the name asked
    CertificateDates,       // this computer's date lies outside the certificate's validity
    ServerRefused,          // an Error or Warning record, or no NTS (NTPv4 or AEAD 15) offered; `refusal`
    Failed,                 // the TLS handshake or the exchange failed otherwise; `error`
};

// Where the certificate's chain must end.
enum class TrustAnchors : std::uint8_t {
    System,  // the system's root store (on Windows, its "ROOT" store)
    File,    // the PEM file KeOptions::caFile only: for tests, never the system's
};

struct KeOptions {
    TrustAnchors trust = TrustAnchors::System;
    std::string caFile;
    int connectTimeoutMs = 5000;
    int totalTimeoutMs = 10000;
};

struct KeResult {
    KeOutcome outcome = KeOutcome::Failed;
    int error = 0;               // the Winsock or TLS library error, where there is one
    // The name the outcome is about: the host, whose certificate was
    // checked for it (when Done, the name verified); for NoConnection the
    // server text, port and all; for a Server record not found, its name.
    std::string subject;
    // For ServerRefused, what the server said; for Failed on a response
    // that cannot be used, what is wrong with it.
    KeFailure refusal = KeFailure::None;
    std::uint16_t refusalCode = 0;
    // Done: the keys, the cookies, and where the NTP requests go: the
    // Server and Port records' address, or the address the exchange
    // connected to and port 123.
    Key c2s{};
    Key s2c{};
    std::vector<Cookie> cookies;
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;

    KeResult() = default;
    KeResult(KeResult&&) = default;
    KeResult& operator=(KeResult&&) = default;
    ~KeResult() {
        wipe(c2s);
        wipe(s2c);
        wipe(cookies);
    }
};

// `serverText` is the Server text of the settings: a host name or a dotted
// IPv4 address, with an optional ":port" (kKeDefaultPort without). The
// certificate's name must match the host name, or the address for a dotted
// text.
KeResult exchangeKeys(const std::string& serverText, const KeOptions& options = {});

}  // namespace nts
