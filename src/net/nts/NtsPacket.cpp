#include "net/nts/NtsPacket.h"

#include <algorithm>
#include <cstring>

namespace nts {

namespace {

std::uint16_t readBigEndian16(const std::uint8_t* data) {
    return static_cast<std::uint16_t>((data[0] << 8) | data[1]);
}

std::size_t paddedTo4(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

void appendField(std::vector<std::uint8_t>& packet, std::uint16_t type, const std::uint8_t* body,
                 std::size_t size) {
    auto fieldSize = static_cast<std::uint16_t>(kFieldHeaderSize + size);
    const std::uint8_t header[kFieldHeaderSize] = {
        static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type),
        static_cast<std::uint8_t>(fieldSize >> 8), static_cast<std::uint8_t>(fieldSize)};
    packet.insert(packet.end(), header, header + kFieldHeaderSize);
    if (body != nullptr)
        packet.insert(packet.end(), body, body + size);
    else
        packet.insert(packet.end(), size, 0);
}

bool allZero(const std::uint8_t* data, std::size_t from, std::size_t to) {
    return std::all_of(data + from, data + to, [](std::uint8_t b) { return b == 0; });
}

// The Authenticator's body (RFC 8915 5.6): the nonce's and the
// ciphertext's lengths, then each padded to 4 bytes, then additional
// padding that makes a nonce shorter than 16 bytes up to 16.
bool readAuthenticator(const std::uint8_t* data, const ExtensionField& field, AnswerLayout& layout) {
    std::size_t body = field.bodyOffset;
    std::size_t bodySize = field.size - kFieldHeaderSize;
    if (bodySize < 4) return false;
    std::size_t nonceLength = readBigEndian16(data + body);
    std::size_t ciphertextLength = readBigEndian16(data + body + 2);
    std::size_t nonceRoom = std::max(paddedTo4(nonceLength), kAeadNonceSize);
    if (nonceLength == 0 || ciphertextLength < kTagSize) return false;
    if (4 + nonceRoom + paddedTo4(ciphertextLength) > bodySize) return false;
    std::size_t nonceOffset = body + 4;
    std::size_t ciphertextOffset = nonceOffset + paddedTo4(nonceLength);
    std::size_t end = field.offset + field.size;
    if (!allZero(data, nonceOffset + nonceLength, ciphertextOffset)) return false;
    if (!allZero(data, ciphertextOffset + ciphertextLength, end)) return false;
    layout.authenticatorOffset = field.offset;
    layout.nonceOffset = nonceOffset;
    layout.nonceLength = nonceLength;
    layout.ciphertextOffset = ciphertextOffset;
    layout.ciphertextLength = ciphertextLength;
    return true;
}

}  // namespace

std::size_t placeholdersFor(std::size_t cookiesLeft, std::size_t cookieSize) {
    std::size_t wanted = cookiesLeft < kMaxCookies ? kMaxCookies - cookiesLeft : 1;
    std::size_t fitting = kMaxCookieFieldBytes / (kFieldHeaderSize + cookieSize);
    return std::max<std::size_t>(std::min(wanted, fitting), 1) - 1;
}

std::vector<std::uint8_t> requestBeforeAuthenticator(std::uint64_t nonce, const UniqueId& uniqueId,
                                                     const Cookie& cookie, std::size_t placeholders) {
    if (cookie.size() < kMinCookieSize || cookie.size() > kMaxCookieSize || cookie.size() % 4 != 0) return {};
    if (placeholders > placeholdersFor(0, cookie.size())) return {};
    std::vector<std::uint8_t> packet(wire::kNtpPacketSize, 0);
    packet[0] = kNtsRequestFirstByte;
    wire::writeBigEndian64(&packet[wire::kNtpTransmitOffset], nonce);
    appendField(packet, kFieldUniqueId, uniqueId.data(), uniqueId.size());
    appendField(packet, kFieldCookie, cookie.data(), cookie.size());
    for (std::size_t i = 0; i < placeholders; ++i) appendField(packet, kFieldCookiePlaceholder, nullptr, cookie.size());
    return packet;
}

bool readExtensionField(const std::uint8_t* data, std::size_t length, std::size_t offset, ExtensionField& field) {
    if (offset > length || length - offset < kFieldHeaderSize) return false;
    std::size_t size = readBigEndian16(data + offset + 2);
    if (size < kMinFieldSize || size % 4 != 0 || size > length - offset) return false;
    field.type = readBigEndian16(data + offset);
    field.offset = offset;
    field.size = size;
    field.bodyOffset = offset + kFieldHeaderSize;
    return true;
}

AnswerLayout inspectAnswer(const std::uint8_t* data, std::size_t length, std::uint64_t origin,
                           const UniqueId& uniqueId) {
    const AnswerLayout unusable{};
    AnswerLayout layout{};
    if (!wire::decodeNtpHeader(data, length, layout.header)) return unusable;
    if (layout.header.version != kNtsVersion || layout.header.mode != wire::kNtpModeServer) return unusable;
    if (layout.header.origin != origin) return unusable;

    int uniqueIds = 0;
    bool sealed = false;
    ExtensionField field{};
    for (std::size_t offset = wire::kNtpPacketSize; offset < length; offset += field.size) {
        // Fields to the end, with no room for a legacy MAC after them.
        if (!readExtensionField(data, length, offset, field)) return unusable;
        if (field.type == kFieldUniqueId) {
            ++uniqueIds;
            if (field.size != kFieldHeaderSize + kUniqueIdSize ||
                std::memcmp(data + field.bodyOffset, uniqueId.data(), kUniqueIdSize) != 0)
                return unusable;
        } else if (field.type == kFieldAuthenticator) {
            if (offset + field.size != length || !readAuthenticator(data, field, layout)) return unusable;
            sealed = true;
        }
        // Cookies out here are not sealed, and not taken; other fields are
        // not ours to read.
    }
    if (uniqueIds != 1) return unusable;
    if (layout.header.stratum == wire::kStratumKissOfDeath && std::memcmp(layout.header.referenceId, "NTSN", 4) == 0) {
        layout.kind = AnswerKind::Nak;
        return layout;
    }
    if (!sealed) return unusable;
    layout.kind = AnswerKind::Sealed;
    return layout;
}

}  // namespace nts
