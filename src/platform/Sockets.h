// The few socket calls the time client makes: Winsock on Windows, BSD
// sockets elsewhere. Every failure leaves a Winsock error code behind for
// lastError(), so the error texts are the same on both.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace platform::sockets {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 endpoint: address bytes in dotted order, port in host order.
struct Endpoint {
    std::uint8_t address[4];
    std::uint16_t port;
};

int startup(int version);  // WSAStartup; 0 on success
void cleanup();            // WSACleanup
SocketHandle open(int family, int type, int protocol);
int bindAny(SocketHandle handle, int family);  // 0, or -1
long sendTo(SocketHandle handle, const void* data, std::size_t length, int flags, int family,
            const Endpoint& to);
// One blocking receive. A datagram that did not fit is a failure with
// WSAEMSGSIZE on every platform, never a silently cut one.
long receiveFrom(SocketHandle handle, void* buffer, std::size_t size, int flags, Endpoint& from);
int close(SocketHandle handle);
// The address and port the socket is bound to (getsockname); -1 on failure.
int localEndpoint(SocketHandle handle, Endpoint& local);
// Wakes a thread blocked in receiveFrom on this handle, so that it can end;
// false where only closing the handle does (Winsock).
bool interruptReceive(SocketHandle handle);

int lastError();
void setLastError(int code);

// TCP, for the NTS key exchange: a stream socket whose every wait ends at
// a deadline; it fails with wsa::kTimedOut when the deadline passes.
using Deadline = std::chrono::steady_clock::time_point;
// An IPv4 TCP socket in non-blocking mode; kInvalidSocket on failure.
SocketHandle openStream();
int connectWithin(SocketHandle handle, const Endpoint& to, Deadline deadline);  // 0, or -1
// Small writes go out at once: without it the first NTP request waited
// about 40 ms behind the TLS Finished message.
int setNoDelay(SocketHandle handle);  // 0, or -1
// Every byte sent, or -1.
int sendAll(SocketHandle handle, const void* data, std::size_t length, Deadline deadline);
// What one receive brings once the socket is readable: the bytes read,
// 0 when the peer closed its side, or -1.
long receiveWithin(SocketHandle handle, void* buffer, std::size_t size, Deadline deadline);

// The milliseconds a wait may last, from now to the deadline: none after
// it, and at least 1 before it, so that a wait never spins.
inline int millisecondsUntil(Deadline deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left <= 0 ? 0 : left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

// First IPv4 address of a host name; false (and a Winsock error) if none.
bool lookupHost(const char* name, std::uint8_t address[4]);
// Port of a service in host order; false when the database has no entry.
bool lookupService(const char* name, const char* protocol, std::uint16_t& port);

}  // namespace platform::sockets
