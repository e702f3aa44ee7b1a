#include "net/Socket.h"

#include <cstring>
#include <mutex>

#include "errors/Exceptions.h"

namespace sockets = platform::sockets;

CWinsockInit::~CWinsockInit() {
    if (requestedVersion != 0) sockets::cleanup();
}

int CWinsockInit::startup() {
    // WSAStartup returns its error: there is no last error to read yet.
    int error = sockets::startup(requestedVersion);
    if (error != 0) throw CSocketException(error, "initializing winsock");
    return 0;
}

CSocket::CSocket(int type, int protocol, int family, Handle existing)
    : attached_(existing != 0),
      handle_(existing != 0 ? existing : kNoSocket),
      type_(type),
      protocol_(protocol),
      family_(family) {}

CSocket::~CSocket() {
    if (!attached_ && handle_ != kNoSocket) sockets::close(handle_);
}

CSocket::Handle CSocket::init() {
    if (!attached_) handle_ = sockets::open(family_, type_, protocol_);
    if (handle_ == kNoSocket) throw CSocketException(0, "CSocket::init");
    return handle_;
}

int CSocket::bindAny() {
    int result = sockets::bindAny(handle_, family_);
    if (result != 0) throw CSocketException(0, "binding");
    return result;
}

long CSocket::receiveFrom(void* buffer, int size, int flags, CInetAddr& from) {
    sockets::Endpoint sender{};
    long received = sockets::receiveFrom(handle_, buffer, static_cast<std::size_t>(size), flags, sender);
    if (received < 0) throw CSocketException(0, "attempting to receive %d data", size);
    from = CInetAddr{};
    from.family = static_cast<std::uint16_t>(family_);
    from.port = sender.port;
    std::memcpy(from.address, sender.address, 4);
    return received;
}

long CSocket::sendTo(const void* data, int length, int flags, const CInetAddr& to) {
    sockets::Endpoint destination{};
    std::memcpy(destination.address, to.address, 4);
    destination.port = to.port;
    std::lock_guard<std::mutex> sending(closing_);
    long sent = sockets::sendTo(handle_, data, static_cast<std::size_t>(length), flags, to.family, destination);
    if (sent < 0) throw CSocketException(0, "sending %d length data", length);
    return sent;
}

int CSocket::close() {
    std::lock_guard<std::mutex> hold(closing_);
    Handle closing = handle_.exchange(kNoSocket);
    // An attached handle belongs to whoever created it: forgetting it is all
    // this object may do.
    if (attached_) return 0;
    return sockets::close(closing);
}

bool CSocket::interruptReceive() {
    Handle handle = handle_;
    return handle != kNoSocket && sockets::interruptReceive(handle);
}

std::uint16_t CSocket::localPort() const {
    sockets::Endpoint local{};
    if (handle_ == kNoSocket || sockets::localEndpoint(handle_, local) != 0) return 0;
    return local.port;
}
