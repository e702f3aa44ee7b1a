// A UDP time server of the test's own on loopback.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace e2e {

constexpr std::uint32_t kSecondsFrom1900To1970 = 2208988800u;

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
        lastFrom_ = from;
        int received = recvfrom(socket_, reinterpret_cast<char*>(buffer), size, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
        lastFrom_ = from;
        return received == SOCKET_ERROR ? -1 : received;
    }
    // Answers the last sender as an RFC 868 server whose clock is
    // `offsetSeconds` ahead of this machine's (modulo 2^32 seconds).
    void answerTime(std::int64_t offsetSeconds) {
        std::uint32_t wire = static_cast<std::uint32_t>(std::time(nullptr) + offsetSeconds) + kSecondsFrom1900To1970;
        const unsigned char reply[4] = {static_cast<unsigned char>(wire >> 24), static_cast<unsigned char>(wire >> 16),
                                        static_cast<unsigned char>(wire >> 8), static_cast<unsigned char>(wire)};
        answer(reply, sizeof reply);
    }
    void answer(const unsigned char* data, int length) {
        sendto(socket_, reinterpret_cast<const char*>(data), length, 0, reinterpret_cast<sockaddr*>(&lastFrom_),
               sizeof lastFrom_);
    }

private:
    SOCKET socket_;
    unsigned short port_ = 0;
    sockaddr_in lastFrom_{};
};

}  // namespace e2e
