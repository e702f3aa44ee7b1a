#include "errors/SocketErrorText.h"

#include "errors/FormatText.h"
#include "platform/WinsockErrors.h"

namespace {

struct SocketErrorEntry {
    int code;
    const char* text;
};

constexpr SocketErrorEntry kSocketErrors[] = {
    {wsa::kBadAddress, "WSAEFAULT: Don't know what it means but it happens sometimes"},
    {wsa::kInvalidArgument, "Socket not bound"},
    {wsa::kTooManySockets, "No Sockets Left"},
    {wsa::kMessageTooLong, "Message too large"},
    {wsa::kWrongProtocolType, "Wrong Protocol for this socket"},
    {wsa::kProtocolNotSupported, "Wrong Protocol for this socket"},
    {wsa::kSocketTypeNotSupported, "This Socket Type not supported"},
    {wsa::kFamilyNotSupported, "Function not supported"},
    {wsa::kAddressInUse, "Port Number already in use"},
    {wsa::kAddressNotAvailable, "Address not reacheable"},
    {wsa::kNetworkDown, "Network Down"},
    {wsa::kNetworkUnreachable, "Network not reacheable"},
    {wsa::kNoBufferSpace, "No buffer space available"},
    {wsa::kNotConnected, "Not connected"},
    {wsa::kConnectionRefused, "Connection refused"},
    {wsa::kHostNotFound, "Could not locate this computer name"},
    {wsa::kTryAgain, "Temporary Error, Try Again"},
};

// The C run-time's texts for error numbers 0 to 42, the same on every
// platform so that the program reads alike everywhere.
constexpr const char* kRuntimeErrors[] = {
    "No error", "Operation not permitted", "No such file or directory", "No such process",
    "Interrupted function call", "Input/output error", "No such device or address", "Arg list too long",
    "Exec format error", "Bad file descriptor", "No child processes", "Resource temporarily unavailable",
    "Not enough space", "Permission denied", "Bad address", "Unknown error", "Resource device",
    "File exists", "Improper link", "No such device", "Not a directory", "Is a directory",
    "Invalid argument", "Too many open files in system", "Too many open files",
    "Inappropriate I/O control operation", "Unknown error", "File too large", "No space left on device",
    "Invalid seek", "Read-only file system", "Too many links", "Broken pipe", "Domain error",
    "Result too large", "Unknown error", "Resource deadlock avoided", "Unknown error", "Filename too long",
    "No locks available", "Function not implemented", "Directory not empty", "Illegal byte sequence",
};
constexpr int kRuntimeErrorCount = static_cast<int>(sizeof kRuntimeErrors / sizeof kRuntimeErrors[0]);

const char* textFor(int code) {
    for (const SocketErrorEntry& entry : kSocketErrors)
        if (entry.code == code) return entry.text;
    if (code >= 0 && code < kRuntimeErrorCount) return kRuntimeErrors[code];
    return "Unknown error";
}

}  // namespace

const char* describeSocketError(int code) {
    // One buffer per thread: every thread reports socket errors, and a
    // shared buffer would let one thread's text be overwritten mid-copy.
    thread_local char buffer[512];
    formatText(buffer, sizeof buffer, "%s\n", textFor(code));
    return buffer;
}
