// Hostile traffic at a time client on loopback, for a bounded time at the
// highest rate it reaches: stray senders on other ports and on 127.0.0.2,
// oversized datagrams (257 bytes to 64 KB), empty, 1-3 and 47 byte
// datagrams, NTP replies in the wrong mode, with LI=3 and with stratum 0,
// and well-formed replies from a wrong port carrying a false time. With
// FORGED_SOURCE (the real server's ADDRESS:PORT) a quarter of the datagrams
// come from there, forged through a raw socket: RFC 868 and NTP replies
// carrying a false time, NTP ones with a guessed origin, and DENY kisses.
// Prints the datagrams sent and what the target's socket dropped
// (/proc/net/udp).
//   flood TARGET_PORT SECONDS [MAX_PER_SECOND [FORGED_SOURCE]]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "net/Wire.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kMaxSeconds = 120;
constexpr long kRateCeiling = 500000;

int boundSocket(const char* address) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, address, &local.sin_addr);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("flood: bind");
        std::exit(1);
    }
    return fd;
}

// Drops counted for the UDP socket bound to 127.0.0.1:port, or -1.
long long dropsAt(unsigned short port) {
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);  // the heading
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, field;
        fields >> slot >> local;
        if (local.size() < 5 || local.compare(local.size() - 5, 5, wanted) != 0) continue;
        std::vector<std::string> rest;
        while (fields >> field) rest.push_back(field);
        return rest.empty() ? -1 : std::atoll(rest.back().c_str());
    }
    return -1;
}

std::vector<std::uint8_t> ntpReply(std::uint8_t first, std::uint8_t stratum, std::uint32_t seconds1900) {
    std::vector<std::uint8_t> packet(wire::kNtpPacketSize, 0);
    packet[0] = first;
    packet[1] = stratum;
    wire::writeBigEndian32(&packet[wire::kNtpTransmitOffset], seconds1900);
    return packet;
}

// Sends datagrams that claim to come from another address and port, as an
// off-path attacker's do; needs CAP_NET_RAW, which the private namespace's
// root has.
class Forger {
public:
    Forger(const char* source) {
        std::string text = source;
        std::size_t colon = text.rfind(':');
        if (colon == std::string::npos || inet_pton(AF_INET, text.substr(0, colon).c_str(), &from_.sin_addr) != 1) {
            std::fprintf(stderr, "flood: FORGED_SOURCE must be ADDRESS:PORT, not %s\n", source);
            std::exit(2);
        }
        from_.sin_port = htons(static_cast<std::uint16_t>(std::atoi(text.c_str() + colon + 1)));
        fd_ = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
        if (fd_ < 0) {
            std::perror("flood: raw socket");
            std::exit(1);
        }
    }
    ~Forger() { close(fd_); }
    bool send(const std::vector<std::uint8_t>& payload, const sockaddr_in& to) {
        std::vector<std::uint8_t> packet(sizeof(iphdr) + sizeof(udphdr) + payload.size());
        auto* ip = reinterpret_cast<iphdr*>(packet.data());
        ip->version = 4;
        ip->ihl = 5;
        ip->ttl = 64;
        ip->protocol = IPPROTO_UDP;
        ip->tot_len = htons(static_cast<std::uint16_t>(packet.size()));
        ip->saddr = from_.sin_addr.s_addr;
        ip->daddr = to.sin_addr.s_addr;  // the kernel fills in the id and the checksum
        auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
        udp->source = from_.sin_port;
        udp->dest = to.sin_port;
        udp->len = htons(static_cast<std::uint16_t>(sizeof(udphdr) + payload.size()));
        udp->check = 0;  // none, as UDP over IPv4 allows
        std::copy(payload.begin(), payload.end(), packet.begin() + sizeof(iphdr) + sizeof(udphdr));
        return sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0;
    }

private:
    sockaddr_in from_{};
    int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: flood TARGET_PORT SECONDS [MAX_PER_SECOND [FORGED_SOURCE]]\n");
        return 2;
    }
    auto port = static_cast<unsigned short>(std::atoi(argv[1]));
    long seconds = std::min(std::atol(argv[2]), kMaxSeconds);
    long ceiling = std::min(argc > 3 ? std::atol(argv[3]) : kRateCeiling, kRateCeiling);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(port);

    // A false time: a day and a half ahead of this machine.
    auto falseTime = static_cast<std::uint32_t>(std::time(nullptr) + 129600) + wire::kSeconds1900To1970;
    struct Kind {
        const char* name;
        std::vector<std::uint8_t> data;
    };
    std::vector<Kind> kinds = {
        {"empty", {}},
        {"1 byte", {0x24}},
        {"2 bytes", {0x24, 0x01}},
        {"3 bytes", {0x24, 0x01, 0x02}},
        {"47 bytes", std::vector<std::uint8_t>(47, 0x24)},
        {"NTP, client mode", ntpReply(0x23, 2, falseTime)},
        {"NTP, LI=3", ntpReply(0xE4, 2, falseTime)},
        {"NTP, stratum 0", ntpReply(0x24, 0, falseTime)},
        {"NTP, well-formed, false time", ntpReply(0x24, 2, falseTime)},
        {"RFC 868, false time", {static_cast<std::uint8_t>(falseTime >> 24), static_cast<std::uint8_t>(falseTime >> 16),
                                 static_cast<std::uint8_t>(falseTime >> 8), static_cast<std::uint8_t>(falseTime)}},
        {"257 bytes", std::vector<std::uint8_t>(257, 0x24)},
    };
    std::vector<std::uint8_t> huge(65507, 0x24);  // the largest UDP payload
    std::vector<std::uint8_t> guessedOrigin = ntpReply(0x24, 2, falseTime);
    std::vector<std::uint8_t> deny = ntpReply(0xE4, 0, 0);
    std::copy_n("DENY", 4, &deny[wire::kNtpReferenceIdOffset]);
    std::vector<Kind> forgedKinds = {{"RFC 868, false time", kinds[9].data},
                                     {"NTP, false time, guessed origin", guessedOrigin},
                                     {"NTP, DENY kiss, guessed origin", deny}};
    std::optional<Forger> forger;
    if (argc > 4) forger.emplace(argv[4]);
    std::vector<int> senders = {boundSocket("127.0.0.1"), boundSocket("127.0.0.1"), boundSocket("127.0.0.1"),
                                boundSocket("127.0.0.2")};

    long long dropsBefore = dropsAt(port);
    long long sent = 0, failed = 0;
    Clock::time_point start = Clock::now(), end = start + std::chrono::seconds(seconds);
    for (long long i = 0; Clock::now() < end; ++i) {
        // Every 500th datagram is 64 KB, so the small ones keep the rate up.
        const std::vector<std::uint8_t>& data = i % 500 == 499 ? huge : kinds[static_cast<std::size_t>(i) % kinds.size()].data;
        bool ok = false;
        if (forger && i % 4 == 3) {
            // Each guess a new one, as a blind forger's would be.
            std::vector<std::uint8_t>& forged = forgedKinds[static_cast<std::size_t>(i / 4) % forgedKinds.size()].data;
            if (forged.size() >= wire::kNtpPacketSize)
                wire::writeBigEndian64(&forged[wire::kNtpOriginOffset], static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15ull);
            ok = forger->send(forged, target);
        } else {
            int sender = senders[static_cast<std::size_t>(i / 7) % senders.size()];
            ok = sendto(sender, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&target), sizeof target) >= 0;
        }
        (ok ? sent : failed)++;
        if (sent % 1000 == 0) {
            double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            double ahead = static_cast<double>(sent) / static_cast<double>(ceiling) - elapsed;
            if (ahead > 0) usleep(static_cast<useconds_t>(ahead * 1e6));
        }
    }
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    usleep(500000);  // let the target drain what it can
    long long dropsAfter = dropsAt(port);
    long long dropped = dropsBefore >= 0 && dropsAfter >= 0 ? dropsAfter - dropsBefore : -1;
    std::printf("flood: %lld datagrams in %.1f s (%.0f/s), %lld failed to send, %lld dropped by the target's socket, "
                "%.0f/s reached the program\n",
                sent, elapsed, static_cast<double>(sent) / elapsed, failed, dropped,
                dropped >= 0 ? static_cast<double>(sent - dropped) / elapsed : -1.0);
    for (int fd : senders) close(fd);
    return 0;
}
