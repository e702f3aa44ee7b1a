// A UDP time server of the test's own on loopback, and a relay on the path
// to the harness's NTS server.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Driver.h"

namespace e2e {

constexpr std::uint32_t kSecondsFrom1900To1970 = 2208988800u;

inline std::uint64_t readBigEndian64(const unsigned char* data) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | data[i];
    return value;
}
inline void writeBigEndian64(unsigned char* data, std::uint64_t value) {
    for (int i = 7; i >= 0; --i, value >>= 8) data[i] = static_cast<unsigned char>(value);
}

// A UDP socket on loopback that records what the program sends it.
class Listener {
public:
    Listener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        closesocket(socket_);
        WSACleanup();
    }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
    // The next datagram's bytes, or -1 as length when none came in time.
    int receive(unsigned char* buffer, int size, int timeoutMs) {
        DWORD timeout = static_cast<DWORD>(timeoutMs);
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        sockaddr_in from{};
        int fromLength = sizeof from;
        int received = recvfrom(socket_, reinterpret_cast<char*>(buffer), size, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
        // Nothing in time leaves the last sender the one answered.
        if (received == SOCKET_ERROR) return -1;
        lastFrom_ = from;
        // An NTP request's transmit timestamp: what a genuine answer echoes.
        lastTransmit_ = received >= 48 ? readBigEndian64(buffer + 40) : 0;
        return received;
    }
    // The transmit timestamp of the last NTP request received.
    std::uint64_t lastTransmit() const { return lastTransmit_; }
    // Answers the last sender as an RFC 868 server whose clock is
    // `offsetSeconds` ahead of this machine's (modulo 2^32 seconds).
    void answerTime(std::int64_t offsetSeconds) {
        std::uint32_t wire = static_cast<std::uint32_t>(std::time(nullptr) + offsetSeconds) + kSecondsFrom1900To1970;
        const unsigned char reply[4] = {static_cast<unsigned char>(wire >> 24), static_cast<unsigned char>(wire >> 16),
                                        static_cast<unsigned char>(wire >> 8), static_cast<unsigned char>(wire)};
        answer(reply, sizeof reply);
    }
    // Answers the last sender as a synchronized NTP server (stratum 2) whose
    // clock is `offsetSeconds` ahead of this machine's, with `origin` as the
    // origin timestamp: by default the request's own transmit timestamp.
    void answerNtp(std::int64_t offsetSeconds, std::optional<std::uint64_t> origin = std::nullopt) {
        unsigned char reply[48] = {0x24, 2, 6, 0xEC};
        std::memcpy(reply + 12, "LOCL", 4);
        writeBigEndian64(reply + 24, origin.value_or(lastTransmit_));
        std::uint64_t now = ntpNow(offsetSeconds);
        writeBigEndian64(reply + 16, now);
        writeBigEndian64(reply + 32, now);
        writeBigEndian64(reply + 40, now);
        answer(reply, sizeof reply);
    }
    // Answers the last NTP request with a kiss-o'-death: "RATE", "DENY"...
    void answerKiss(const char* code) {
        unsigned char reply[48] = {0xE4, 0};
        std::memcpy(reply + 12, code, 4);
        writeBigEndian64(reply + 24, lastTransmit_);
        answer(reply, sizeof reply);
    }
    void answer(const unsigned char* data, int length) {
        sendto(socket_, reinterpret_cast<const char*>(data), length, 0, reinterpret_cast<sockaddr*>(&lastFrom_),
               sizeof lastFrom_);
    }

private:
    // This machine's clock plus the offset, as an NTP timestamp.
    static std::uint64_t ntpNow(std::int64_t offsetSeconds) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
        constexpr std::uint64_t k1601To1900 = 9435484800ull;  // seconds
        std::uint64_t units = ticks.QuadPart;  // 100 ns since 1601
        std::uint64_t seconds = units / 10000000 - k1601To1900 + static_cast<std::uint64_t>(offsetSeconds);
        std::uint64_t fraction = (units % 10000000) * (std::uint64_t{1} << 32) / 10000000;
        return (seconds << 32) | fraction;
    }

    SOCKET socket_;
    unsigned short port_ = 0;
    sockaddr_in lastFrom_{};
    std::uint64_t lastTransmit_ = 0;
};

// The relay on the path between the program and the harness's chronyd
// (tests/harness/nts-relay.py, at MARIVEL_NTS_RELAY_ADDRESS): what passed it,
// from its log, and how it changes the answers, through its control file.
class Relay {
public:
    enum class Change { None, TransmitTimestamp, OneByte };
    static constexpr unsigned short kNtpPort = 11123;

    Relay()
        : log_(driver::windowsPathOf("MARIVEL_NTS_RELAY_LOG")),
          control_(driver::windowsPathOf("MARIVEL_NTS_RELAY_CHANGE")) {
        change(Change::None);
        DeleteFileA(log_.c_str());  // what an earlier test saw is not this one's
    }
    ~Relay() { change(Change::None); }

    // How the answers from now on are changed: the transmit timestamp moved
    // on by `seconds`, or the byte at `offset` flipped.
    void change(Change what, std::int64_t seconds = 0, std::size_t offset = 0) {
        std::string words = what == Change::TransmitTimestamp ? "transmit " + std::to_string(seconds)
                            : what == Change::OneByte         ? "byte " + std::to_string(offset)
                                                              : "";
        std::ofstream(control_, std::ios::trunc) << words << "\n";
    }
    int keyExchanges() const { return static_cast<int>(logged("ke").size()); }
    std::vector<std::vector<unsigned char>> requests() const { return logged("request"); }
    // As chronyd sent them, before any change.
    std::vector<std::vector<unsigned char>> answers() const { return logged("answer"); }

private:
    std::vector<std::vector<unsigned char>> logged(const std::string& kind) const {
        std::vector<std::vector<unsigned char>> found;
        std::ifstream in(log_);
        std::string what, hex;
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            if (!(words >> what) || what != kind) continue;
            hex.clear();
            words >> hex;
            std::vector<unsigned char> bytes;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
            found.push_back(bytes);
        }
        return found;
    }

    std::string log_, control_;
};

}  // namespace e2e
