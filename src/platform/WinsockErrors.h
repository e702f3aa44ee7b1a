// The Winsock error codes the program reports, by name. Winsock's own names
// are macros on Windows, so these go by names of their own; the BSD-socket
// layer translates errno into them, and platform/win32 checks them against
// Winsock's.
#pragma once

namespace wsa {

constexpr int kInterrupted = 10004;            // WSAEINTR
constexpr int kBadHandle = 10009;              // WSAEBADF
constexpr int kAccessDenied = 10013;           // WSAEACCES
constexpr int kBadAddress = 10014;             // WSAEFAULT
constexpr int kInvalidArgument = 10022;        // WSAEINVAL
constexpr int kTooManySockets = 10024;         // WSAEMFILE
constexpr int kWouldBlock = 10035;             // WSAEWOULDBLOCK
constexpr int kNotASocket = 10038;             // WSAENOTSOCK
constexpr int kNoDestination = 10039;          // WSAEDESTADDRREQ
constexpr int kMessageTooLong = 10040;         // WSAEMSGSIZE
constexpr int kWrongProtocolType = 10041;      // WSAEPROTOTYPE
constexpr int kBadProtocolOption = 10042;      // WSAENOPROTOOPT
constexpr int kProtocolNotSupported = 10043;   // WSAEPROTONOSUPPORT
constexpr int kSocketTypeNotSupported = 10044; // WSAESOCKTNOSUPPORT
constexpr int kOperationNotSupported = 10045;  // WSAEOPNOTSUPP
constexpr int kFamilyNotSupported = 10047;     // WSAEAFNOSUPPORT
constexpr int kAddressInUse = 10048;           // WSAEADDRINUSE
constexpr int kAddressNotAvailable = 10049;    // WSAEADDRNOTAVAIL
constexpr int kNetworkDown = 10050;            // WSAENETDOWN
constexpr int kNetworkUnreachable = 10051;     // WSAENETUNREACH
constexpr int kNetworkReset = 10052;           // WSAENETRESET
constexpr int kConnectionAborted = 10053;      // WSAECONNABORTED
constexpr int kConnectionReset = 10054;        // WSAECONNRESET
constexpr int kNoBufferSpace = 10055;          // WSAENOBUFS
constexpr int kNotConnected = 10057;           // WSAENOTCONN
constexpr int kTimedOut = 10060;               // WSAETIMEDOUT
constexpr int kConnectionRefused = 10061;      // WSAECONNREFUSED
constexpr int kNameTooLong = 10063;            // WSAENAMETOOLONG
constexpr int kHostUnreachable = 10065;        // WSAEHOSTUNREACH
constexpr int kHostNotFound = 11001;           // WSAHOST_NOT_FOUND
constexpr int kTryAgain = 11002;               // WSATRY_AGAIN
constexpr int kNoData = 11004;                 // WSANO_DATA

}  // namespace wsa
