// Winsock start-up and the one UDP socket of the program. Every failing
// call throws CSocketException naming what was being attempted.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/Sockets.h"

constexpr int kAfInet = 2;     // AF_INET
constexpr int kSockDgram = 2;  // SOCK_DGRAM

// A destination laid out like an IPv4 socket address, but with the port in
// host byte order.
struct CInetAddr {
    std::uint16_t family = 0;
    std::uint16_t port = 0;
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint8_t zero[8] = {0, 0, 0, 0, 0, 0, 0, 0};

    // Fills the record from a server text; defined with the resolver.
    CInetAddr& resolve(const char* serverText, const char* defaultPortText, int family);
};
static_assert(sizeof(CInetAddr) == 16, "laid out like an IPv4 socket address");

class CWinsockInit {
public:
    CWinsockInit(int major, int minor) : requestedVersion((minor << 8) + major) {}
    CWinsockInit(const CWinsockInit&) = delete;
    CWinsockInit& operator=(const CWinsockInit&) = delete;
    ~CWinsockInit();

    int startup();

private:
    int requestedVersion;
};

class CSocket {
public:
    using Handle = platform::sockets::SocketHandle;
    static constexpr Handle kNoSocket = platform::sockets::kInvalidSocket;

    // With an existing handle (not 0) the object is attached to it: it
    // neither creates nor closes that handle.
    CSocket(int type, int protocol, int family, Handle existing = 0);
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    ~CSocket();

    Handle init();
    int bindAny();
    // One blocking receive; the port in `from` comes back in host order.
    long receiveFrom(void* buffer, int size, int flags, CInetAddr& from);
    // Request threads send while the window may close the socket: a send
    // finishes before the handle is closed, or fails on a closed socket,
    // never reaching another socket that took the handle's number.
    long sendTo(const void* data, int length, int flags, const CInetAddr& to);
    // Closes an owned handle; an attached one is only let go.
    int close();
    // Wakes a receive blocked on this socket so that its thread can end;
    // false when only close() can.
    bool interruptReceive();

    Handle handle() const { return handle_; }
    // The port the socket is bound to, in host order; 0 when unknown.
    std::uint16_t localPort() const;

private:
    bool attached_;
    std::atomic<Handle> handle_;
    // Held by each send and by close(), so that no send overlaps the close.
    // Sends take it one at a time: a read-write lock would let them share
    // it, but MinGW's (winpthreads) let a close overlap a send, which then
    // went out through the next socket given the handle's number.
    std::mutex closing_;
    int type_;
    int protocol_;
    int family_;
};
