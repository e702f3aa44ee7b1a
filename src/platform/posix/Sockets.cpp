// BSD sockets behind the Winsock-shaped interface. errno values are turned
// into the Winsock codes the error texts are written for.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
        case ECONNABORTED: return wsa::kConnectionAborted;
        // A send after the peer reset the connection; Winsock reports that so.
        case EPIPE: case ECONNRESET: return wsa::kConnectionReset;
        case ENOBUFS: return wsa::kNoBufferSpace;
        case ENOTCONN: return wsa::kNotConnected;
        case ETIMEDOUT: return wsa::kTimedOut;
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

// Waits until the socket is ready for `events` or the deadline passes:
// 0 when ready, -1 (wsa::kTimedOut, or the poll's error) otherwise.
int waitFor(SocketHandle handle, short events, Deadline deadline) {
    pollfd watched{static_cast<int>(handle), events, 0};
    int ready;
    do {
        ready = ::poll(&watched, 1, millisecondsUntil(deadline));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return failWithErrno();
    if (ready == 0) {
        lastSocketError = wsa::kTimedOut;
        return -1;
    }
    return 0;
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

SocketHandle openStream() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failWithErrno();
        return kInvalidSocket;
    }
    return fd;
}

int connectWithin(SocketHandle handle, const Endpoint& to, Deadline deadline) {
    sockaddr_in address = toSockaddr(AF_INET, to);
    if (::connect(static_cast<int>(handle), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return 0;
    if (errno != EINPROGRESS) return failWithErrno();
    if (waitFor(handle, POLLOUT, deadline) != 0) return -1;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(static_cast<int>(handle), SOL_SOCKET, SO_ERROR, &error, &length) != 0) return failWithErrno();
    if (error != 0) {
        lastSocketError = winsockCodeFor(error);
        return -1;
    }
    return 0;
}

int setNoDelay(SocketHandle handle) {
    int on = 1;
    if (::setsockopt(static_cast<int>(handle), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) return failWithErrno();
    return 0;
}

int sendAll(SocketHandle handle, const void* data, std::size_t length, Deadline deadline) {
    const char* next = static_cast<const char*>(data);
    while (length > 0) {
        if (waitFor(handle, POLLOUT, deadline) != 0) return -1;
        // MSG_NOSIGNAL: a peer that has gone fails the send, instead of
        // ending the program with SIGPIPE.
        ssize_t sent = ::send(static_cast<int>(handle), next, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return failWithErrno();
        }
        next += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return 0;
}

long receiveWithin(SocketHandle handle, void* buffer, std::size_t size, Deadline deadline) {
    for (;;) {
        if (waitFor(handle, POLLIN, deadline) != 0) return -1;
        ssize_t received = ::recv(static_cast<int>(handle), buffer, size, 0);
        if (received >= 0) return static_cast<long>(received);
        if (errno != EAGAIN && errno != EINTR) return failWithErrno();
    }
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
