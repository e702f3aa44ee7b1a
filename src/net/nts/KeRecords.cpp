#include "net/nts/KeRecords.h"

#include <algorithm>

namespace nts {

namespace {

constexpr std::size_t kRecordHeaderSize = 4;

std::uint16_t readBigEndian16(const std::uint8_t* data) {
    return static_cast<std::uint16_t>((data[0] << 8) | data[1]);
}

void appendBigEndian16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendCriticalRecord(std::vector<std::uint8_t>& out, KeRecordType type, const std::uint16_t* values,
                          std::size_t count) {
    appendBigEndian16(out, static_cast<std::uint16_t>(kKeCriticalBit | static_cast<std::uint16_t>(type)));
    appendBigEndian16(out, static_cast<std::uint16_t>(2 * count));
    for (std::size_t i = 0; i < count; ++i) appendBigEndian16(out, values[i]);
}

bool isLetterOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// What RFC 8915 4.1.7 allows: an IPv4 address, an IPv6 address without a
// zone, or a DNS name in ASCII (an IDN in its A-label form). Only its
// characters and labels are checked here; the resolver reads the rest.
bool isServerName(const std::string& text) {
    if (text.empty()) return false;
    if (text.find(':') != std::string::npos) {
        // IPv6, possibly with an IPv4 tail.
        return text.size() <= 45 &&
               std::all_of(text.begin(), text.end(), [](char c) { return isHexDigit(c) || c == ':' || c == '.'; });
    }
    std::string name = text.back() == '.' ? text.substr(0, text.size() - 1) : text;
    if (name.empty() || name.size() > kMaxServerNameSize) return false;
    std::size_t labelStart = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '.') {
            std::size_t labelSize = i - labelStart;
            if (labelSize == 0 || labelSize > 63) return false;
            if (name[labelStart] == '-' || name[i - 1] == '-') return false;
            labelStart = i + 1;
        } else if (!isLetterOrDigit(name[i]) && name[i] != '-') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> buildKeRequest() {
    std::vector<std::uint8_t> request;
    appendCriticalRecord(request, KeRecordType::NextProtocol, &kNextProtocolNtpv4, 1);
    appendCriticalRecord(request, KeRecordType::AeadAlgorithm, &kAeadAesSivCmac256, 1);
    appendCriticalRecord(request, KeRecordType::EndOfMessage, nullptr, 0);
    return request;
}

KeResponseParser::~KeResponseParser() {
    wipe(response_.cookies);
    wipe(pending_);
}

bool KeResponseParser::feed(const std::uint8_t* data, std::size_t length) {
    if (done_) return true;
    // Never more than the limit is taken in, whatever the pieces.
    std::size_t room = kMaxKeResponseSize - received_;
    std::size_t taken = std::min(length, room);
    pending_.insert(pending_.end(), data, data + taken);
    received_ += taken;

    std::size_t offset = 0;
    while (!done_ && pending_.size() - offset >= kRecordHeaderSize) {
        const std::uint8_t* record = pending_.data() + offset;
        std::uint16_t word = readBigEndian16(record);
        std::size_t bodyLength = readBigEndian16(record + 2);
        if (pending_.size() - offset - kRecordHeaderSize < bodyLength) break;
        handleRecord((word & kKeCriticalBit) != 0, static_cast<std::uint16_t>(word & ~kKeCriticalBit),
                     record + kRecordHeaderSize, bodyLength);
        offset += kRecordHeaderSize + bodyLength;
    }
    // The consumed records may hold cookies: wiped before they go.
    wipe(pending_.data(), offset);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(offset));
    if (!done_ && received_ == kMaxKeResponseSize) fail(KeFailure::TooLong);
    return done_;
}

KeResponse KeResponseParser::take() {
    KeResponse outcome = std::move(response_);
    response_ = KeResponse{};
    if (!done_) {
        wipe(outcome.cookies);
        outcome = KeResponse{};
    }
    return outcome;
}

void KeResponseParser::fail(KeFailure failure, std::uint16_t code) {
    wipe(response_.cookies);
    response_ = KeResponse{};
    response_.failure = failure;
    response_.code = code;
    done_ = true;
}

void KeResponseParser::handleRecord(bool critical, std::uint16_t type, const std::uint8_t* body,
                                    std::size_t length) {
    // A known record is understood whatever its critical bit says: the bit
    // tells only what to do with a record one does not know.
    switch (static_cast<KeRecordType>(type)) {
        case KeRecordType::EndOfMessage:
            if (length != 0) return fail(KeFailure::Malformed);
            return handleEnd();
        case KeRecordType::Error:
        case KeRecordType::Warning:
            // No warning code is defined; RFC 8915 4.1.4 has the client stop
            // as it does at an error.
            if (length != 2) return fail(KeFailure::Malformed);
            return fail(type == static_cast<std::uint16_t>(KeRecordType::Error) ? KeFailure::ServerError
                                                                                : KeFailure::ServerWarning,
                        readBigEndian16(body));
        case KeRecordType::NextProtocol: {
            // Exactly one, listing what the server accepts of what we offered.
            if (sawNextProtocol_) return fail(KeFailure::DuplicateRecord);
            sawNextProtocol_ = true;
            if (length % 2 != 0) return fail(KeFailure::Malformed);
            bool ntpv4 = false;
            for (std::size_t i = 0; i < length; i += 2) ntpv4 = ntpv4 || readBigEndian16(body + i) == kNextProtocolNtpv4;
            if (!ntpv4) return fail(KeFailure::NextProtocolRefused);
            return;
        }
        case KeRecordType::AeadAlgorithm:
            // At most one, naming one algorithm, or none when the server
            // takes none of ours.
            if (sawAead_) return fail(KeFailure::DuplicateRecord);
            sawAead_ = true;
            if (length == 0) return fail(KeFailure::AeadRefused);
            if (length != 2) return fail(KeFailure::Malformed);
            if (readBigEndian16(body) != kAeadAesSivCmac256) return fail(KeFailure::AeadRefused);
            return;
        case KeRecordType::NewCookie:
            // A cookie that could not go back in a request is no cookie to
            // us; nor is a ninth.
            if (length < kMinCookieSize || length > kMaxCookieSize || length % 4 != 0) return;
            if (response_.cookies.size() >= kMaxCookies) return;
            response_.cookies.emplace_back(body, body + length);
            return;
        case KeRecordType::Server: {
            if (sawServer_) return fail(KeFailure::DuplicateRecord);
            sawServer_ = true;
            std::string name(reinterpret_cast<const char*>(body), length);
            if (!isServerName(name)) return fail(KeFailure::Malformed);
            response_.server = std::move(name);
            return;
        }
        case KeRecordType::Port: {
            if (sawPort_) return fail(KeFailure::DuplicateRecord);
            sawPort_ = true;
            if (length != 2) return fail(KeFailure::Malformed);
            std::uint16_t port = readBigEndian16(body);
            if (port == 0) return fail(KeFailure::Malformed);
            response_.port = port;
            return;
        }
    }
    if (critical) fail(KeFailure::UnknownCriticalRecord, type);
}

void KeResponseParser::handleEnd() {
    if (!sawNextProtocol_) return fail(KeFailure::MissingNextProtocol);
    if (!sawAead_) return fail(KeFailure::MissingAead);
    if (response_.cookies.empty()) return fail(KeFailure::NoCookie);
    response_.failure = KeFailure::None;
    done_ = true;
}

}  // namespace nts
