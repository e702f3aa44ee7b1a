// BSD sockets behind the Winsock-shaped interface. errno values are turned
// into the Winsock codes the error texts are written for.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/WinsockErrors.h"

namespace platform::sockets {
namespace {

thread_local int lastSocketError = 0;

int winsockCodeFor(int error) {
    switch (error) {
        case EINTR: return wsa::kInterrupted;
        case EBADF: return wsa::kBadHandle;
        case EACCES: return wsa::kAccessDenied;
        case EFAULT: return wsa::kBadAddress;
        case EINVAL: return wsa::kInvalidArgument;
        case EMFILE: case ENFILE: return wsa::kTooManySockets;
        case EWOULDBLOCK: return wsa::kWouldBlock;
        case ENOTSOCK: return wsa::kNotASocket;
        case EDESTADDRREQ: return wsa::kNoDestination;
        case EMSGSIZE: return wsa::kMessageTooLong;
        case EPROTOTYPE: return wsa::kWrongProtocolType;
        case ENOPROTOOPT: return wsa::kBadProtocolOption;
        case EPROTONOSUPPORT: return wsa::kProtocolNotSupported;
        case ESOCKTNOSUPPORT: return wsa::kSocketTypeNotSupported;
        case EOPNOTSUPP: return wsa::kOperationNotSupported;
        case EAFNOSUPPORT: return wsa::kFamilyNotSupported;
        case EADDRINUSE: return wsa::kAddressInUse;
        case EADDRNOTAVAIL: return wsa::kAddressNotAvailable;
        case ENETDOWN: return wsa::kNetworkDown;
        case ENETUNREACH: return wsa::kNetworkUnreachable;
        case ENETRESET: return wsa::kNetworkReset;
        case ECONNRESET: return wsa::kConnectionReset;
        case ENOBUFS: return wsa::kNoBufferSpace;
        case ENOTCONN: return wsa::kNotConnected;
        case ECONNREFUSED: return wsa::kConnectionRefused;
        case EHOSTUNREACH: return wsa::kHostUnreachable;
        default: return error;
    }
}

int failWithErrno() {
    lastSocketError = winsockCodeFor(errno);
    return -1;
}

sockaddr_in toSockaddr(int family, const Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = static_cast<sa_family_t>(family);
    address.sin_port = htons(endpoint.port);
    std::memcpy(&address.sin_addr, endpoint.address, 4);
    return address;
}

}  // namespace

int startup(int) { return 0; }
void cleanup() {}

SocketHandle open(int family, int type, int protocol) {
    int fd = ::socket(family, type, protocol);
    if (fd < 0) {
        failWithErrno();
        return kInvalidSocket;
    }
    return fd;
}

int bindAny(SocketHandle handle, int family) {
    sockaddr_in any{};
    any.sin_family = static_cast<sa_family_t>(family);
    if (::bind(static_cast<int>(handle), reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) return failWithErrno();
    return 0;
}

long sendTo(SocketHandle handle, const void* data, std::size_t length, int flags, int family, const Endpoint& to) {
    sockaddr_in address = toSockaddr(family, to);
    ssize_t sent = ::sendto(static_cast<int>(handle), data, length, flags, reinterpret_cast<sockaddr*>(&address),
                            sizeof address);
    if (sent < 0) return failWithErrno();
    return static_cast<long>(sent);
}

long receiveFrom(SocketHandle handle, void* buffer, std::size_t size, int flags, Endpoint& from) {
    sockaddr_in address{};
    iovec part{buffer, size};
    msghdr message{};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received = ::recvmsg(static_cast<int>(handle), &message, flags);
    if (received < 0) return failWithErrno();
    if (message.msg_flags & MSG_TRUNC) {
        // Linux cuts an oversized datagram silently; Winsock reports it.
        lastSocketError = winsockCodeFor(EMSGSIZE);
        return -1;
    }
    std::memcpy(from.address, &address.sin_addr, 4);
    from.port = ntohs(address.sin_port);
    return static_cast<long>(received);
}

int close(SocketHandle handle) {
    if (::close(static_cast<int>(handle)) != 0) return failWithErrno();
    return 0;
}

int localEndpoint(SocketHandle handle, Endpoint& local) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(static_cast<int>(handle), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return failWithErrno();
    }
    std::memcpy(local.address, &address.sin_addr, 4);
    local.port = ntohs(address.sin_port);
    return 0;
}

bool interruptReceive(SocketHandle handle) {
    // Linux wakes the receive of an unconnected UDP socket too, and reports
    // ENOTCONN for it.
    return ::shutdown(static_cast<int>(handle), SHUT_RDWR) == 0 || errno == ENOTCONN;
}

int lastError() { return lastSocketError; }
void setLastError(int code) { lastSocketError = code; }

bool lookupHost(const char* name, std::uint8_t address[4]) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int result = ::getaddrinfo(name, nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        lastSocketError = result == EAI_AGAIN ? wsa::kTryAgain : wsa::kHostNotFound;
        return false;
    }
    std::memcpy(address, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, 4);
    ::freeaddrinfo(found);
    return true;
}

bool lookupService(const char* name, const char* protocol, std::uint16_t& port) {
    servent entry{};
    servent* found = nullptr;
    char work[1024];
    if (::getservbyname_r(name, protocol, &entry, work, sizeof work, &found) != 0 || found == nullptr) return false;
    port = ntohs(static_cast<std::uint16_t>(found->s_port));
    return true;
}

}  // namespace platform::sockets
