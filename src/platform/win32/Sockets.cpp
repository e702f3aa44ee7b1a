#include "platform/Sockets.h"

#include <winsock2.h>
#include <mstcpip.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/WinsockErrors.h"

// The names the portable code uses are Winsock's numbers.
static_assert(wsa::kInterrupted == WSAEINTR && wsa::kBadHandle == WSAEBADF && wsa::kAccessDenied == WSAEACCES &&
              wsa::kBadAddress == WSAEFAULT && wsa::kInvalidArgument == WSAEINVAL &&
              wsa::kTooManySockets == WSAEMFILE && wsa::kWouldBlock == WSAEWOULDBLOCK &&
              wsa::kNotASocket == WSAENOTSOCK && wsa::kNoDestination == WSAEDESTADDRREQ &&
              wsa::kMessageTooLong == WSAEMSGSIZE && wsa::kWrongProtocolType == WSAEPROTOTYPE &&
              wsa::kBadProtocolOption == WSAENOPROTOOPT && wsa::kProtocolNotSupported == WSAEPROTONOSUPPORT &&
              wsa::kSocketTypeNotSupported == WSAESOCKTNOSUPPORT && wsa::kOperationNotSupported == WSAEOPNOTSUPP &&
              wsa::kFamilyNotSupported == WSAEAFNOSUPPORT && wsa::kAddressInUse == WSAEADDRINUSE &&
              wsa::kAddressNotAvailable == WSAEADDRNOTAVAIL && wsa::kNetworkDown == WSAENETDOWN &&
              wsa::kNetworkUnreachable == WSAENETUNREACH && wsa::kNetworkReset == WSAENETRESET &&
              wsa::kConnectionAborted == WSAECONNABORTED && wsa::kConnectionReset == WSAECONNRESET &&
              wsa::kNoBufferSpace == WSAENOBUFS && wsa::kNotConnected == WSAENOTCONN &&
              wsa::kTimedOut == WSAETIMEDOUT && wsa::kConnectionRefused == WSAECONNREFUSED &&
              wsa::kNameTooLong == WSAENAMETOOLONG && wsa::kHostUnreachable == WSAEHOSTUNREACH &&
              wsa::kHostNotFound == WSAHOST_NOT_FOUND && wsa::kTryAgain == WSATRY_AGAIN && wsa::kNoData == WSANO_DATA,
              "Winsock error numbers");

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif
#ifndef SIO_UDP_NETRESET
#define SIO_UDP_NETRESET _WSAIOW(IOC_VENDOR, 15)
#endif

namespace platform::sockets {
namespace {

sockaddr_in toSockaddr(int family, const Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = static_cast<short>(family);
    address.sin_port = htons(endpoint.port);
    std::memcpy(&address.sin_addr, endpoint.address, 4);
    return address;
}

// Waits until the socket is readable (or, with `writing`, writable or
// failed to connect) or the deadline passes: 0 when ready, -1 otherwise
// (WSAETIMEDOUT at the deadline).
int waitFor(SocketHandle handle, bool writing, Deadline deadline) {
    SOCKET socket = static_cast<SOCKET>(handle);
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    int milliseconds = millisecondsUntil(deadline);
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    // Only a connect reports its failure among the exceptions.
    int count = ::select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, writing ? &failed : nullptr,
                         &limit);
    if (count == SOCKET_ERROR) return -1;
    if (count == 0) {
        WSASetLastError(WSAETIMEDOUT);
        return -1;
    }
    if (writing && FD_ISSET(socket, &failed)) {
        // A connection that failed: its reason is the socket's error.
        int error = 0;
        int length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return -1;
        WSASetLastError(error != 0 ? error : WSAECONNREFUSED);
        return -1;
    }
    return 0;
}

}  // namespace

int startup(int version) {
    WSADATA data;
    return WSAStartup(static_cast<WORD>(version), &data);
}

void cleanup() { WSACleanup(); }

SocketHandle open(int family, int type, int protocol) {
    SOCKET handle = ::socket(family, type, protocol);
    if (handle == INVALID_SOCKET) return kInvalidSocket;
    if (type != SOCK_DGRAM) return static_cast<SocketHandle>(handle);
    // ICMP reports about earlier requests ("port unreachable", "time
    // exceeded") would come back as failed receives: nobody on the network
    // may end the program that way.
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(handle, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    WSAIoctl(handle, SIO_UDP_NETRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    return static_cast<SocketHandle>(handle);
}

int bindAny(SocketHandle handle, int family) {
    sockaddr_in any{};
    any.sin_family = static_cast<short>(family);
    return ::bind(static_cast<SOCKET>(handle), reinterpret_cast<sockaddr*>(&any), sizeof any) == 0 ? 0 : -1;
}

long sendTo(SocketHandle handle, const void* data, std::size_t length, int flags, int family, const Endpoint& to) {
    sockaddr_in address = toSockaddr(family, to);
    int sent = ::sendto(static_cast<SOCKET>(handle), static_cast<const char*>(data), static_cast<int>(length), flags,
                        reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent == SOCKET_ERROR ? -1 : sent;
}

long receiveFrom(SocketHandle handle, void* buffer, std::size_t size, int flags, Endpoint& from) {
    sockaddr_in address{};
    int addressLength = sizeof address;
    int received = ::recvfrom(static_cast<SOCKET>(handle), static_cast<char*>(buffer), static_cast<int>(size), flags,
                              reinterpret_cast<sockaddr*>(&address), &addressLength);
    if (received == SOCKET_ERROR) return -1;  // WSAEMSGSIZE for a datagram that did not fit
    std::memcpy(from.address, &address.sin_addr, 4);
    from.port = ntohs(address.sin_port);
    return received;
}

int close(SocketHandle handle) { return ::closesocket(static_cast<SOCKET>(handle)) == 0 ? 0 : -1; }

int localEndpoint(SocketHandle handle, Endpoint& local) {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(static_cast<SOCKET>(handle), reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    std::memcpy(local.address, &address.sin_addr, 4);
    local.port = ntohs(address.sin_port);
    return 0;
}

// Closing the handle is what wakes a blocked receive under Winsock.
bool interruptReceive(SocketHandle) { return false; }

SocketHandle openStream() {
    SOCKET handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) return kInvalidSocket;
    u_long nonBlocking = 1;
    // FIONBIO is built as an unsigned number; the call takes a long.
    if (::ioctlsocket(handle, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
        int error = WSAGetLastError();
        ::closesocket(handle);
        WSASetLastError(error);
        return kInvalidSocket;
    }
    return static_cast<SocketHandle>(handle);
}

int connectWithin(SocketHandle handle, const Endpoint& to, Deadline deadline) {
    sockaddr_in address = toSockaddr(AF_INET, to);
    if (::connect(static_cast<SOCKET>(handle), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return 0;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    return waitFor(handle, true, deadline);
}

int setNoDelay(SocketHandle handle) {
    BOOL on = TRUE;
    return ::setsockopt(static_cast<SOCKET>(handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                        sizeof on) == 0
               ? 0
               : -1;
}

int sendAll(SocketHandle handle, const void* data, std::size_t length, Deadline deadline) {
    const char* next = static_cast<const char*>(data);
    while (length > 0) {
        if (waitFor(handle, true, deadline) != 0) return -1;
        int piece = static_cast<int>(length < 0x10000 ? length : 0x10000);
        int sent = ::send(static_cast<SOCKET>(handle), next, piece, 0);
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return -1;
        }
        next += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return 0;
}

long receiveWithin(SocketHandle handle, void* buffer, std::size_t size, Deadline deadline) {
    int most = static_cast<int>(size < 0x10000 ? size : 0x10000);
    for (;;) {
        if (waitFor(handle, false, deadline) != 0) return -1;
        int received = ::recv(static_cast<SOCKET>(handle), static_cast<char*>(buffer), most, 0);
        if (received != SOCKET_ERROR) return received;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    }
}

int lastError() { return WSAGetLastError(); }
void setLastError(int code) { WSASetLastError(code); }

bool lookupHost(const char* name, std::uint8_t address[4]) {
    hostent* found = ::gethostbyname(name);
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) return false;
    std::memcpy(address, found->h_addr_list[0], 4);
    return true;
}

bool lookupService(const char* name, const char* protocol, std::uint16_t& port) {
    servent* found = ::getservbyname(name, protocol);
    if (found == nullptr) return false;
    port = ntohs(static_cast<u_short>(found->s_port));
    return true;
}

}  // namespace platform::sockets
