// The latest request: what it asked, where it went and how it went. A
// reply is used only if it answers this request, and only once.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class RequestStyle;

// What a style keeps of one request beyond its nonce, to know its answer,
// or of one answer beyond its header, to act on it once it is taken.
struct StyleData {
    virtual ~StyleData() = default;
};

// How a request went, as far as the request thread knows.
enum class RequestOutcome : std::uint8_t {
    Preparing,     // begun: its server is being resolved
    Sent,          // the datagram went out
    NameNotFound,  // the server's name was not found; `error` says why
    SendFailed,    // the datagram could not be sent; `error` says why
    NotSent,       // a later request overtook it, or no nonce could be drawn
    // The NTS key exchange failed: nothing is sent without it.
    NoKeyExchange,         // refused, or silent until its timeout; `error`
    CertificateUntrusted,  // no chain to a root this computer trusts
    CertificateName,       // the certificate is for another name than `subject`
    CertificateDates,      // this computer's date is outside the certificate's validity
    KeyExchangeRefused,    // the server answered with an error, or without NTS
    KeyExchangeFailed,     // anything else; `error`
};

// sentSeconds and sentCounter are read together just before the datagram
// leaves: the wall clock's second, and the high-resolution counter. Each
// style's arithmetic reads the one it needs.
struct RequestRecord {
    std::uint32_t serial = 0;  // 0 before the first request; counts them
    bool sent = false;         // false until the datagram is about to leave
    bool answered = false;     // a reply to it was used; no other will be
    RequestStyle* style = nullptr;  // how it asks; set for every request begun
    std::string server;             // the server text it asked
    std::int64_t startedMs = 0;     // platform::sinceBootMs() when it began
    std::uint32_t sentSeconds = 0;
    std::uint64_t sentCounter = 0;
    // NTP styles: the 64 random bits sent as the transmit timestamp, which
    // a genuine reply echoes as its origin timestamp. 0 for RFC 868.
    std::uint64_t nonce = 0;
    std::shared_ptr<const StyleData> memory;  // null for styles that keep nothing more
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;  // host order
    RequestOutcome outcome = RequestOutcome::Preparing;
    int error = 0;        // the Winsock or system error of a failed outcome
    std::string subject;  // what failed: the name not found
};

// A reply later than this after its request began is not taken: by then
// the request has been given up and may have been asked again.
constexpr std::int64_t kReplyWindowMs = 30000;

// Where a request goes, and what it must remember, as it leaves.
struct Departure {
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;
    std::uint32_t sentSeconds = 0;
    std::uint64_t sentCounter = 0;
    std::uint64_t nonce = 0;
    std::shared_ptr<const StyleData> memory;
};

// Request threads write the record and the receiving thread reads it; each
// reader gets one whole record.
class GuardedRequest {
public:
    RequestRecord get() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return record_;
    }
    // A new request begins: from now on no reply to an earlier one is
    // taken. Returns its serial.
    std::uint32_t begin(RequestRecord record) {
        std::lock_guard<std::mutex> hold(mutex_);
        record.serial = record_.serial + 1;
        record.sent = false;
        record.answered = false;
        record.outcome = RequestOutcome::Preparing;
        record_ = std::move(record);
        return record_.serial;
    }
    // The request `serial` is about to leave. False when a later request
    // began meanwhile: its answer would not be taken, so it is not sent.
    bool sending(std::uint32_t serial, const Departure& departure) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (record_.serial != serial) return false;
        std::copy(departure.address, departure.address + 4, record_.address);
        record_.port = departure.port;
        record_.sentSeconds = departure.sentSeconds;
        record_.sentCounter = departure.sentCounter;
        record_.nonce = departure.nonce;
        record_.memory = departure.memory;
        record_.sent = true;
        record_.outcome = RequestOutcome::Sent;
        return true;
    }
    // The request `serial` ended without leaving, or its sending failed.
    void failed(std::uint32_t serial, RequestOutcome outcome, int error, std::string subject = {}) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (record_.serial != serial) return;
        record_.outcome = outcome;
        record_.error = error;
        record_.subject = std::move(subject);
    }
    // Takes the answer to request `serial`: true only the first time, and
    // only while it is still the latest request.
    bool claim(std::uint32_t serial) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (record_.serial != serial || record_.answered) return false;
        record_.answered = true;
        return true;
    }

private:
    mutable std::mutex mutex_;
    RequestRecord record_;
};
