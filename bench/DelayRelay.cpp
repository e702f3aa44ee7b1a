// A UDP relay on loopback that delays each direction by a fixed time, for
// measuring time clients over a path with a known (and possibly
// asymmetric) delay.
//   delay_relay LISTEN_PORT SERVER_PORT OUT_MS BACK_MS [SECONDS]
// Datagrams to 127.0.0.1:LISTEN_PORT go to 127.0.0.1:SERVER_PORT OUT_MS
// later; the server's answers come back from LISTEN_PORT BACK_MS later.
// Ends by itself after SECONDS (default 3600).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <queue>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxClients = 64;
constexpr std::size_t kMaxQueued = 10000;

struct Pending {
    Clock::time_point due;
    int socket;
    sockaddr_in to;
    std::vector<char> data;
    bool operator>(const Pending& other) const { return due > other.due; }
};

sockaddr_in loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

int boundSocket(unsigned short port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = loopback(port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("delay_relay: bind");
        std::exit(1);
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: delay_relay LISTEN_PORT SERVER_PORT OUT_MS BACK_MS [SECONDS]\n");
        return 2;
    }
    auto listenPort = static_cast<unsigned short>(std::atoi(argv[1]));
    sockaddr_in server = loopback(static_cast<unsigned short>(std::atoi(argv[2])));
    auto out = std::chrono::microseconds(std::atol(argv[3]) * 1000);
    auto back = std::chrono::microseconds(std::atol(argv[4]) * 1000);
    auto end = Clock::now() + std::chrono::seconds(argc > 5 ? std::atol(argv[5]) : 3600);

    int front = boundSocket(listenPort);
    // One socket towards the server per client, so answers find their way back.
    std::map<int, sockaddr_in> clientOf;
    std::map<std::pair<in_addr_t, in_port_t>, int> upstreamOf;
    std::deque<std::pair<in_addr_t, in_port_t>> arrivals;  // oldest first
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> queue;
    char buffer[65536];

    while (Clock::now() < end) {
        std::vector<pollfd> fds{{front, POLLIN, 0}};
        for (const auto& [fd, client] : clientOf) fds.push_back({fd, POLLIN, 0});
        auto wait = queue.empty() ? std::chrono::nanoseconds(std::chrono::milliseconds(200))
                                  : std::max(queue.top().due - Clock::now(), Clock::duration::zero());
        timespec timeout{static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(wait).count()),
                         static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count() %
                                           1000000000)};
        ppoll(fds.data(), fds.size(), &timeout, nullptr);
        Clock::time_point now = Clock::now();
        for (const pollfd& ready : fds) {
            if ((ready.revents & POLLIN) == 0) continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            ssize_t length = recvfrom(ready.fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                                      &fromLength);
            if (length < 0 || queue.size() >= kMaxQueued) continue;
            std::vector<char> data(buffer, buffer + length);
            if (ready.fd == front) {
                auto key = std::make_pair(from.sin_addr.s_addr, from.sin_port);
                auto known = upstreamOf.find(key);
                if (known == upstreamOf.end()) {
                    // Clients come and go (every run of a reference client
                    // asks from new ports): the oldest gives way.
                    if (upstreamOf.size() >= kMaxClients) {
                        auto oldest = upstreamOf.find(arrivals.front());
                        close(oldest->second);
                        clientOf.erase(oldest->second);
                        upstreamOf.erase(oldest);
                        arrivals.pop_front();
                    }
                    int upstream = boundSocket(0);
                    known = upstreamOf.emplace(key, upstream).first;
                    clientOf[upstream] = from;
                    arrivals.push_back(key);
                }
                queue.push({now + out, known->second, server, std::move(data)});
            } else {
                queue.push({now + back, front, clientOf[ready.fd], std::move(data)});
            }
        }
        while (!queue.empty() && queue.top().due <= Clock::now()) {
            const Pending& next = queue.top();
            sendto(next.socket, next.data.data(), next.data.size(), 0, reinterpret_cast<const sockaddr*>(&next.to),
                   sizeof next.to);
            queue.pop();
        }
    }
    return 0;
}
