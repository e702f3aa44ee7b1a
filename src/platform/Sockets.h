// The few socket calls the time client makes: Winsock on Windows, BSD
// sockets elsewhere. Every failure leaves a Winsock error code behind for
// lastError(), so the error texts are the same on both.
#pragma once
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

// First IPv4 address of a host name; false (and a Winsock error) if none.
bool lookupHost(const char* name, std::uint8_t address[4]);
// Port of a service in host order; false when the database has no entry.
bool lookupService(const char* name, const char* protocol, std::uint16_t& port);

}  // namespace platform::sockets
