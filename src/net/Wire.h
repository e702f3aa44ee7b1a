// What travels on the wire: RFC 868 and NTP constants, big-endian reading,
// and the split 64-bit counter arithmetic of the round trip.
#pragma once
#include <cstddef>
#include <cstdint>

namespace wire {

// Both protocols count seconds since 1900-01-01 00:00 UTC.
constexpr std::uint32_t kSeconds1900To1970 = 2208988800u;  // 0x83AA7E80
// Adding this modulo 2^32 subtracts kSeconds1900To1970.
constexpr std::uint32_t kTimeReplyOffset = 0x7C558180u;
static_assert(static_cast<std::uint32_t>(kSeconds1900To1970 + kTimeReplyOffset) == 0u, "same subtraction");

constexpr std::size_t kTimeReplySize = 4;    // bytes: seconds since 1900
constexpr std::size_t kNtpPacketSize = 48;   // bytes, request and shortest reply
constexpr std::size_t kNtpRootDelayOffset = 4;       // unsigned 16.16 seconds
constexpr std::size_t kNtpRootDispersionOffset = 8;  // unsigned 16.16 seconds
constexpr std::size_t kNtpReferenceIdOffset = 12;    // a kiss-o'-death's code, four ASCII letters
constexpr std::size_t kNtpOriginOffset = 24;         // the request's transmit timestamp, echoed
// An NTP timestamp: seconds since 1900 in the high 32 bits, a binary
// fraction of a second in the low 32.
constexpr int kNtpFractionBits = 32;
constexpr std::size_t kNtpReceiveOffset = 32;        // when the server received the request
constexpr std::size_t kNtpTransmitOffset = 40;  // bytes: seconds, then the fraction at 44
constexpr std::size_t kReceiveBufferSize = 256;  // bytes; a longer datagram is dropped

// First request byte: leap indicator 0, version 1, mode 3 (client).
constexpr std::uint8_t kNtpRequestFirstByte = 0x0B;
constexpr std::uint8_t kNtpModeServer = 4;
constexpr std::uint8_t kLeapNotSynchronized = 3;
constexpr std::uint8_t kStratumKissOfDeath = 0;
constexpr std::uint8_t kStratumUnsynchronized = 16;  // and above

constexpr int kTimeReplyMilliseconds = 500;  // what an RFC 868 reply sets below the second
constexpr int kMillisecondsPerSecond = 1000;

// The four bytes at offset as a big-endian number; false, and value left
// alone, when the data ends before them.
inline bool readBigEndian32(const std::uint8_t* data, std::size_t length, std::size_t offset,
                            std::uint32_t& value) {
    if (offset > length || length - offset < 4) return false;
    value = (std::uint32_t{data[offset]} << 24) | (std::uint32_t{data[offset + 1]} << 16) |
            (std::uint32_t{data[offset + 2]} << 8) | std::uint32_t{data[offset + 3]};
    return true;
}

// Eight bytes at offset, big-endian; the caller has checked the length.
inline std::uint64_t readBigEndian64(const std::uint8_t* data, std::size_t offset) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) value = (value << 8) | data[offset + i];
    return value;
}

inline void writeBigEndian32(std::uint8_t* data, std::uint32_t value) {
    data[0] = static_cast<std::uint8_t>(value >> 24);
    data[1] = static_cast<std::uint8_t>(value >> 16);
    data[2] = static_cast<std::uint8_t>(value >> 8);
    data[3] = static_cast<std::uint8_t>(value);
}

inline void writeBigEndian64(std::uint8_t* data, std::uint64_t value) {
    writeBigEndian32(data, static_cast<std::uint32_t>(value >> 32));
    writeBigEndian32(data + 4, static_cast<std::uint32_t>(value));
}

// The 48-byte NTP header's fields, read once: every later check works on
// these, never on the bytes again.
struct NtpHeader {
    std::uint8_t leap;     // 3: the server is not synchronized
    std::uint8_t version;
    std::uint8_t mode;
    std::uint8_t stratum;  // 0: a kiss-o'-death, whose code is referenceId
    std::uint32_t rootDelay;       // unsigned 16.16 seconds
    std::uint32_t rootDispersion;  // unsigned 16.16 seconds
    std::uint32_t referenceId;
    std::uint64_t origin;    // the request's transmit timestamp, echoed
    std::uint64_t receive;   // when the server received the request
    std::uint64_t transmit;  // when the server sent the answer
};

// False, and `header` left alone, when the data is shorter than a header.
inline bool decodeNtpHeader(const std::uint8_t* data, std::size_t length, NtpHeader& header) {
    if (length < kNtpPacketSize) return false;
    header.leap = static_cast<std::uint8_t>(data[0] >> 6);
    header.version = static_cast<std::uint8_t>((data[0] >> 3) & 0x07);
    header.mode = static_cast<std::uint8_t>(data[0] & 0x07);
    header.stratum = data[1];
    readBigEndian32(data, length, kNtpRootDelayOffset, header.rootDelay);
    readBigEndian32(data, length, kNtpRootDispersionOffset, header.rootDispersion);
    readBigEndian32(data, length, kNtpReferenceIdOffset, header.referenceId);
    header.origin = readBigEndian64(data, kNtpOriginOffset);
    header.receive = readBigEndian64(data, kNtpReceiveOffset);
    header.transmit = readBigEndian64(data, kNtpTransmitOffset);
    return true;
}

}  // namespace wire

// An unsigned 64-bit value kept as two 32-bit halves, as the counter stamp
// of a request keeps only the low half.
struct CInt64 {
    std::uint32_t low;
    std::uint32_t high;

    CInt64(std::uint32_t lowHalf, std::uint32_t highHalf) : low(lowHalf), high(highHalf) {}
    explicit CInt64(std::uint64_t value)
        : low(static_cast<std::uint32_t>(value)), high(static_cast<std::uint32_t>(value >> 32)) {}

    CInt64& operator-=(const CInt64& other) {
        std::uint32_t oldLow = low;
        low -= other.low;
        high -= other.high;
        if (low > oldLow) --high;  // the low half wrapped: borrow
        return *this;
    }
    CInt64 operator-(const CInt64& other) const {
        CInt64 result = *this;
        result -= other;
        return result;
    }
};
