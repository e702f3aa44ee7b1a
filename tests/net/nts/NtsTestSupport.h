// Builders for what an NTS server sends: key-exchange records, and NTP
// answers laid out field by field, so that each test says which bytes it
// means.
#pragma once
#include <cstdint>
#include <vector>

#include "net/Wire.h"
#include "net/nts/NtsPacket.h"

using Bytes = std::vector<std::uint8_t>;

namespace ntstest {

constexpr std::uint64_t kOrigin = 0x1122334455667788ull;

inline void put16(Bytes& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// A key-exchange record; `type` may carry the critical bit.
inline Bytes record(std::uint16_t type, const Bytes& body = {}) {
    Bytes out;
    put16(out, type);
    put16(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes word(std::uint16_t value) {
    Bytes out;
    put16(out, value);
    return out;
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes filled(std::size_t size, std::uint8_t first) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

// The nonce the tests' answers are sealed with.
inline const Bytes kNonce = filled(16, 0x30);

// Bytes [from, to) of data.
inline Bytes slice(const Bytes& data, std::size_t from, std::size_t to) {
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(to));
}

inline nts::UniqueId uniqueId(std::uint8_t first = 0xA0) {
    nts::UniqueId id{};
    for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(first + i);
    return id;
}

// A version 4 server header echoing kOrigin, stratum 2 with a receive and
// transmit time, or a NAK.
inline Bytes answerHeader(std::uint8_t stratum = 2, std::uint32_t referenceId = 0x7F000001u) {
    Bytes header(wire::kNtpPacketSize, 0);
    header[0] = 0x24;
    header[1] = stratum;
    wire::writeBigEndian32(&header[wire::kNtpReferenceIdOffset], referenceId);
    wire::writeBigEndian64(&header[wire::kNtpOriginOffset], kOrigin);
    wire::writeBigEndian64(&header[wire::kNtpReceiveOffset], 0xEC00000180000000ull);
    wire::writeBigEndian64(&header[wire::kNtpTransmitOffset], 0xEC00000190000000ull);
    return header;
}

inline Bytes nakHeader() { return answerHeader(0, nts::kNakCode); }

// An extension field, its body padded with zeros to a multiple of 4.
inline Bytes field(std::uint16_t type, const Bytes& body) {
    Bytes out;
    std::size_t padded = (body.size() + 3) / 4 * 4;
    put16(out, type);
    put16(out, nts::kFieldHeaderSize + padded);
    out.insert(out.end(), body.begin(), body.end());
    out.resize(nts::kFieldHeaderSize + padded, 0);
    return out;
}

inline Bytes uniqueIdField(const nts::UniqueId& id = uniqueId()) {
    return field(nts::kFieldUniqueId, Bytes(id.begin(), id.end()));
}

// An Authenticator field: the two lengths, the nonce and the ciphertext
// each padded to 4, then `extraPadding` zero bytes.
inline Bytes authenticator(const Bytes& nonce, const Bytes& ciphertext, std::size_t extraPadding = 0) {
    Bytes body;
    put16(body, nonce.size());
    put16(body, ciphertext.size());
    body.insert(body.end(), nonce.begin(), nonce.end());
    body.resize((body.size() + 3) / 4 * 4, 0);
    body.insert(body.end(), ciphertext.begin(), ciphertext.end());
    body.resize((body.size() + 3) / 4 * 4 + extraPadding, 0);
    return field(nts::kFieldAuthenticator, body);
}

}  // namespace ntstest
