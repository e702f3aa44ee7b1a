#include "net/nts/KeClient.h"

// Before any other wolfSSL header, so that they see the library's own build settings.
#include <wolfssl/options.h>
#include <wolfssl/error-ssl.h>
#include <wolfssl/ssl.h>
#include <wolfssl/wolfcrypt/asn.h>
#include <wolfssl/wolfcrypt/error-crypt.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>

#include "errors/TextRules.h"
#include "platform/Sockets.h"
#include "platform/SystemRoots.h"
#include "platform/WinsockErrors.h"

namespace nts {

namespace {

namespace sockets = platform::sockets;
using Clock = std::chrono::steady_clock;

constexpr char kAlpn[] = "ntske/1";
constexpr unsigned kAlpnLength = sizeof kAlpn - 1;
constexpr char kExporterLabel[] = "EXPORTER-network-time-security";
constexpr std::size_t kReadSize = 4096;
constexpr std::size_t kMaxPortDigits = 5;

// "host" or "host:port", the port from 1 to 65535 in digits.
bool splitServerText(const std::string& serverText, std::string& host, std::uint16_t& port) {
    std::size_t colon = serverText.rfind(':');
    host = serverText.substr(0, colon);
    port = kKeDefaultPort;
    if (colon != std::string::npos) {
        std::string_view digits = std::string_view(serverText).substr(colon + 1);
        text::Decimal value = text::readDecimal(digits, 0x10000);
        if (value.digits == 0 || value.digits != digits.size() || value.digits > kMaxPortDigits ||
            value.value == 0 || value.value > 0xFFFF) {
            return false;
        }
        port = static_cast<std::uint16_t>(value.value);
    }
    return !host.empty() && host.size() <= kMaxServerNameSize;
}

// Four numbers from 0 to 255 of up to three digits between three dots, and
// nothing else; any other text is a name. `address` is written only for an
// address.
bool parseDottedAddress(const std::string& serverText, std::uint8_t address[4]) {
    std::uint8_t parsed[4];
    std::size_t at = 0;
    for (std::uint8_t& number : parsed) {
        if (&number != parsed && (at >= serverText.size() || serverText[at++] != '.')) return false;
        text::Decimal value = text::readDecimal(std::string_view(serverText).substr(at), 256);
        if (value.digits == 0 || value.digits > 3 || value.value > 255) return false;
        number = static_cast<std::uint8_t>(value.value);
        at += value.digits;
    }
    if (at != serverText.size()) return false;
    std::memcpy(address, parsed, sizeof parsed);
    return true;
}

struct ContextFree {
    void operator()(WOLFSSL_CTX* context) const { wolfSSL_CTX_free(context); }
};
struct SessionFree {
    void operator()(WOLFSSL* session) const { wolfSSL_free(session); }
};
using TlsContext = std::unique_ptr<WOLFSSL_CTX, ContextFree>;
using TlsSession = std::unique_ptr<WOLFSSL, SessionFree>;

class StreamSocket {
public:
    StreamSocket() : handle_(sockets::openStream()) {}
    ~StreamSocket() {
        if (handle_ != sockets::kInvalidSocket) sockets::close(handle_);
    }
    StreamSocket(const StreamSocket&) = delete;
    StreamSocket& operator=(const StreamSocket&) = delete;
    sockets::SocketHandle handle() const { return handle_; }

private:
    sockets::SocketHandle handle_;
};

// A certificate as wolfCrypt decodes it, freed when it goes.
class Certificate {
public:
    Certificate(const std::uint8_t* der, unsigned length) : decoded_(std::make_unique<DecodedCert>()) {
        wc_InitDecodedCert(decoded_.get(), der, length, nullptr);
        parsed_ = wc_ParseCert(decoded_.get(), CERT_TYPE, NO_VERIFY, nullptr) == 0;
    }
    ~Certificate() { wc_FreeDecodedCert(decoded_.get()); }
    Certificate(const Certificate&) = delete;
    Certificate& operator=(const Certificate&) = delete;

    // Whether one of its subject alternative names is this IPv4 address.
    bool namesAddress(const std::uint8_t address[4]) const {
        if (!parsed_) return false;
        for (const DNS_entry* name = decoded_->altNames; name != nullptr; name = name->next) {
            if (name->type == ASN_IP_TYPE && name->len == 4 && std::memcmp(name->name, address, 4) == 0) return true;
        }
        return false;
    }

private:
    std::unique_ptr<DecodedCert> decoded_;
    bool parsed_ = false;
};

// The TLS library's reads and writes go through the socket, each bounded
// by the exchange's deadline; a socket that fails leaves its error here.
struct Link {
    sockets::SocketHandle handle;
    sockets::Deadline deadline;
    int socketError = 0;
};

int receive(WOLFSSL*, char* buffer, int size, void* context) {
    Link& link = *static_cast<Link*>(context);
    long received = sockets::receiveWithin(link.handle, buffer, static_cast<std::size_t>(size), link.deadline);
    if (received > 0) return static_cast<int>(received);
    if (received == 0) return WOLFSSL_CBIO_ERR_CONN_CLOSE;
    link.socketError = sockets::lastError();
    return WOLFSSL_CBIO_ERR_GENERAL;
}

int send(WOLFSSL*, char* data, int size, void* context) {
    Link& link = *static_cast<Link*>(context);
    if (sockets::sendAll(link.handle, data, static_cast<std::size_t>(size), link.deadline) == 0) return size;
    link.socketError = sockets::lastError();
    return WOLFSSL_CBIO_ERR_GENERAL;
}

// What the check of the server's chain found. The library checks the
// chain, its dates and a host name itself. An address it would match
// against DNS names and the common name as well, wildcards included, so
// the leaf's IP address names (RFC 5280 4.2.1.6) are checked here instead.
struct Verification {
    const std::uint8_t* address = nullptr;  // a dotted server text's
    int error = 0;                          // the first certificate error
};

// Called for every certificate that fails, and for the leaf always
// (WOLFSSL_ALWAYS_VERIFY_CB in cmake/WolfSSL.cmake).
int verifyCertificate(int preverified, WOLFSSL_X509_STORE_CTX* store) {
    Verification& verification = *static_cast<Verification*>(store->userCtx);
    int error = preverified ? 0 : store->error;
    if (error == 0 && store->error_depth == 0 && verification.address != nullptr) {
        const WOLFSSL_BUFFER_INFO& leaf = store->certs[0];
        if (!Certificate(leaf.buffer, leaf.length).namesAddress(verification.address)) error = IPADDR_MISMATCH;
    }
    if (error == 0) return 1;
    if (verification.error == 0) verification.error = error;
    return 0;
}

bool libraryReady() {
    static const bool ready = wolfSSL_Init() == WOLFSSL_SUCCESS;
    return ready;
}

// A certificate the library cannot take (an algorithm left out of it, an
// expired root) is no anchor; the others still are.
void loadSystemRoots(WOLFSSL_CTX* context) {
    platform::readSystemRoots([context](const std::uint8_t* data, std::size_t size,
                                        platform::CertificateEncoding encoding) {
        int format = encoding == platform::CertificateEncoding::Der ? WOLFSSL_FILETYPE_ASN1 : WOLFSSL_FILETYPE_PEM;
        wolfSSL_CTX_load_verify_buffer_ex(context, data, static_cast<long>(size), format, 0,
                                          WOLFSSL_LOAD_FLAG_IGNORE_ERR);
    });
}

// TLS 1.3 only, verifying the peer against the anchors asked for; none
// and `error` set when the anchors cannot be loaded.
TlsContext makeContext(const KeOptions& options, int& error) {
    TlsContext context(wolfSSL_CTX_new(wolfTLSv1_3_client_method()));
    if (!context) {
        error = MEMORY_E;
        return nullptr;
    }
    if (options.trust == TrustAnchors::File) {
        int loaded = wolfSSL_CTX_load_verify_locations(context.get(), options.caFile.c_str(), nullptr);
        if (loaded != WOLFSSL_SUCCESS) {
            error = loaded != WOLFSSL_FAILURE ? loaded : WOLFSSL_BAD_FILE;
            return nullptr;
        }
    } else {
        loadSystemRoots(context.get());
    }
    wolfSSL_CTX_set_verify(context.get(), WOLFSSL_VERIFY_PEER, verifyCertificate);
    return context;
}

// RFC 8915 5.1: the context is the Next Protocol (NTPv4), the AEAD
// algorithm, and 0 for the client-to-server key or 1 for the other.
int exportKey(WOLFSSL* session, std::uint8_t direction, Key& key) {
    const std::uint8_t context[] = {
        static_cast<std::uint8_t>(kNextProtocolNtpv4 >> 8), static_cast<std::uint8_t>(kNextProtocolNtpv4),
        static_cast<std::uint8_t>(kAeadAesSivCmac256 >> 8), static_cast<std::uint8_t>(kAeadAesSivCmac256),
        direction};
    return wolfSSL_export_keying_material(session, key.data(), key.size(), kExporterLabel, sizeof kExporterLabel - 1,
                                          context, sizeof context, 1);
}

bool failed(KeResult& result, KeOutcome outcome, int error) {
    result.outcome = outcome;
    result.error = error;
    return false;
}

// A failed TLS call: the socket's error if it failed, else what the
// certificate check found, else the library's error.
bool failedTls(KeResult& result, WOLFSSL* session, int returned, const Link& link,
               const Verification& verification) {
    if (link.socketError != 0) return failed(result, KeOutcome::NoConnection, link.socketError);
    int error = verification.error != 0 ? verification.error : wolfSSL_get_error(session, returned);
    switch (error) {
        case ASN_NO_SIGNER_E: return failed(result, KeOutcome::CertificateUntrusted, error);
        case DOMAIN_NAME_MISMATCH:
        case IPADDR_MISMATCH: return failed(result, KeOutcome::CertificateName, error);
        case ASN_BEFORE_DATE_E:
        case ASN_AFTER_DATE_E: return failed(result, KeOutcome::CertificateDates, error);
        default: return failed(result, KeOutcome::Failed, error);
    }
}

// The server's own answer, when it gave no usable one: a refusal of NTS
// or a record of trouble, or else a response not to be used.
bool failedResponse(KeResult& result, const KeResponse& response) {
    result.refusal = response.failure;
    result.refusalCode = response.code;
    switch (response.failure) {
        case KeFailure::ServerError:
        case KeFailure::ServerWarning:
        case KeFailure::NextProtocolRefused:
        case KeFailure::AeadRefused:
        case KeFailure::MissingNextProtocol:
        case KeFailure::MissingAead: return failed(result, KeOutcome::ServerRefused, 0);
        default: return failed(result, KeOutcome::Failed, 0);
    }
}

// Where the NTP requests go: the Server record's host (a dotted address
// as it is), or else the address the exchange connected to.
bool findNtpServer(KeResult& result, const KeResponse& response, const sockets::Endpoint& connected) {
    std::memcpy(result.address, connected.address, sizeof result.address);
    if (!response.server.empty() && !parseDottedAddress(response.server, result.address) &&
        !sockets::lookupHost(response.server.c_str(), result.address)) {
        result.subject = response.server;
        return failed(result, KeOutcome::NameNotFound, sockets::lastError());
    }
    result.port = response.port != 0 ? response.port : kNtpDefaultPort;
    return true;
}

// The host and port of the server text, and the address to connect to.
bool findKeServer(KeResult& result, const std::string& serverText, std::string& host, sockets::Endpoint& server,
                  bool& byAddress) {
    bool split = splitServerText(serverText, host, server.port);
    result.subject = split ? host : serverText;
    if (!split) return failed(result, KeOutcome::NameNotFound, wsa::kHostNotFound);
    byAddress = parseDottedAddress(host, server.address);
    if (!byAddress && !sockets::lookupHost(host.c_str(), server.address)) {
        return failed(result, KeOutcome::NameNotFound, sockets::lastError());
    }
    return true;
}

// The session's reads and writes, its certificate check, the secrets
// the exporter needs (otherwise dropped when the handshake ends), ALPN,
// and for a host name SNI and the check of the name (RFC 6066 3: no SNI
// for an address).
bool configure(WOLFSSL* tls, Link& link, Verification& verification, const std::string& host, bool byAddress) {
    wolfSSL_SSLSetIORecv(tls, receive);
    wolfSSL_SSLSetIOSend(tls, send);
    wolfSSL_SetIOReadCtx(tls, &link);
    wolfSSL_SetIOWriteCtx(tls, &link);
    wolfSSL_SetCertCbCtx(tls, &verification);
    wolfSSL_KeepArrays(tls);
    // The library copies the list before it reads it.
    if (wolfSSL_UseALPN(tls, const_cast<char*>(kAlpn), kAlpnLength, WOLFSSL_ALPN_FAILED_ON_MISMATCH) !=
        WOLFSSL_SUCCESS) {
        return false;
    }
    return byAddress ||
           (wolfSSL_UseSNI(tls, WOLFSSL_SNI_HOST_NAME, host.data(), static_cast<unsigned short>(host.size())) ==
                WOLFSSL_SUCCESS &&
            wolfSSL_check_domain_name(tls, host.c_str()) == WOLFSSL_SUCCESS);
}

// The handshake, and the server's agreement to NTS-KE: a server that does
// not name the protocol may mean something else by the same bytes.
bool handshake(KeResult& result, WOLFSSL* tls, const Link& link, const Verification& verification) {
    int returned = wolfSSL_connect(tls);
    if (returned != WOLFSSL_SUCCESS) return failedTls(result, tls, returned, link, verification);
    char* protocol = nullptr;
    unsigned short protocolLength = 0;
    if (wolfSSL_ALPN_GetProtocol(tls, &protocol, &protocolLength) != WOLFSSL_SUCCESS ||
        protocolLength != kAlpnLength || std::memcmp(protocol, kAlpn, kAlpnLength) != 0) {
        return failed(result, KeOutcome::Failed, UNKNOWN_ALPN_PROTOCOL_NAME_E);
    }
    return true;
}

// The request, then the response's records until its outcome is known or
// the server closes the connection (an incomplete response).
bool askForKeys(KeResult& result, WOLFSSL* tls, const Link& link, const Verification& verification,
                KeResponse& response) {
    std::vector<std::uint8_t> request = buildKeRequest();
    int returned = wolfSSL_write(tls, request.data(), static_cast<int>(request.size()));
    if (returned != static_cast<int>(request.size())) return failedTls(result, tls, returned, link, verification);

    KeResponseParser parser;
    std::array<std::uint8_t, kReadSize> piece;
    while (!parser.done()) {
        returned = wolfSSL_read(tls, piece.data(), static_cast<int>(piece.size()));
        if (returned <= 0) break;
        parser.feed(piece.data(), static_cast<std::size_t>(returned));
    }
    wipe(piece.data(), piece.size());
    if (!parser.done()) {
        int error = wolfSSL_get_error(tls, returned);
        if (error != WOLFSSL_ERROR_ZERO_RETURN && error != SOCKET_PEER_CLOSED_E) {
            return failedTls(result, tls, returned, link, verification);
        }
    }
    response = parser.take();
    return response.succeeded() || failedResponse(result, response);
}

// Both keys, and then the handshake's secrets dropped.
bool exportKeys(KeResult& result, WOLFSSL* tls) {
    int exported = exportKey(tls, 0, result.c2s);
    if (exported == WOLFSSL_SUCCESS) exported = exportKey(tls, 1, result.s2c);
    wolfSSL_FreeArrays(tls);
    if (exported == WOLFSSL_SUCCESS) return true;
    return failed(result, KeOutcome::Failed, exported != WOLFSSL_FAILURE ? exported : WOLFSSL_FATAL_ERROR);
}

bool exchange(KeResult& result, const std::string& serverText, const KeOptions& options) {
    const Clock::time_point start = Clock::now();
    const sockets::Deadline deadline = start + std::chrono::milliseconds(options.totalTimeoutMs);
    std::string host;
    sockets::Endpoint server{};
    bool byAddress = false;
    if (!findKeServer(result, serverText, host, server, byAddress)) return false;

    if (!libraryReady()) return failed(result, KeOutcome::Failed, WOLFSSL_FATAL_ERROR);
    int contextError = 0;
    TlsContext context = makeContext(options, contextError);
    if (!context) return failed(result, KeOutcome::Failed, contextError);

    StreamSocket socket;
    const sockets::Deadline connectDeadline =
        std::min(deadline, start + std::chrono::milliseconds(options.connectTimeoutMs));
    if (socket.handle() == sockets::kInvalidSocket ||
        sockets::connectWithin(socket.handle(), server, connectDeadline) != 0 ||
        sockets::setNoDelay(socket.handle()) != 0) {
        return failed(result, KeOutcome::NoConnection, sockets::lastError());
    }

    TlsSession session(wolfSSL_new(context.get()));
    Link link{socket.handle(), deadline};
    Verification verification;
    if (byAddress) verification.address = server.address;
    if (!session || !configure(session.get(), link, verification, host, byAddress)) {
        return failed(result, KeOutcome::Failed, MEMORY_E);
    }
    KeResponse response;
    if (!handshake(result, session.get(), link, verification) ||
        !askForKeys(result, session.get(), link, verification, response)) {
        return false;
    }
    // In the result, the cookies are wiped with it on any failure below.
    result.cookies = std::move(response.cookies);
    if (!exportKeys(result, session.get())) return false;
    wolfSSL_shutdown(session.get());
    if (!findNtpServer(result, response, server)) return false;
    result.outcome = KeOutcome::Done;
    return true;
}

}  // namespace

KeResult exchangeKeys(const std::string& serverText, const KeOptions& options) {
    KeResult result;
    if (!exchange(result, serverText, options)) {
        // A port that does not answer is as much at fault as its host:
        // name the server as it was typed.
        if (result.outcome == KeOutcome::NoConnection) result.subject = serverText;
        wipe(result.c2s);
        wipe(result.s2c);
        wipe(result.cookies);
    }
    return result;
}

}  // namespace nts
