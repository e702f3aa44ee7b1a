// What the time service and the clock share: the service's name, the one
// control code it takes, where it publishes its last result, and that
// result's text. Portable: both sides of the text are tested natively.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace service {

constexpr const char* kServiceName = "MarivelTime";
constexpr const char* kDisplayName = "Marivel Time Service";
// "Synchronise now": a user-defined control code, which carries no data.
constexpr std::uint32_t kControlSyncNow = 128;
// A named file mapping every user can read and only the service and
// administrators can write: a sequence number, odd while the text is
// being written, then the result's text ending at a zero.
constexpr const char* kResultMappingName = "Global\\MarivelTimeServiceResult";
constexpr std::uint32_t kResultMappingSize = 512;

// How the service's setting of the clock went.
enum class SettingOutcome : std::uint8_t {
    Done,
    Refused,  // Windows refused (ERROR_PRIVILEGE_NOT_HELD)
    Skipped,  // the offset was beyond MaxStep: nothing was set
    Failed,   // any other failure, or the service stopped
};

// Why the service stopped of its own accord: the step that failed.
enum class StopCause : std::uint8_t {
    None,        // it runs, or it was stopped as asked
    Privileges,  // limiting its token's privileges
    Winsock,     // starting Winsock
    Socket,      // opening its socket
    Bind,        // binding its socket
    Publishing,  // creating the result's mapping; such a stop is never published
    Receive,     // its socket failed under the receiving thread
    Exception,   // anything else that went wrong
    Other,       // a cause a newer service names and this reader does not know
};

struct Result {
    std::uint32_t when = 0;  // the server's time of the answer, UTC seconds since 1970
    std::string server;      // the server text asked
    std::int64_t offsetMs = 0;  // the server's time minus this computer's
    SettingOutcome setting = SettingOutcome::Failed;
    // A stop: `when` is this computer's time of it, the offset 0, the
    // setting Failed, and `error` the Windows or Winsock error (0: none).
    StopCause stopped = StopCause::None;
    std::uint32_t error = 0;
    // The name the answer was authenticated for (NTS); empty when it was not.
    std::string authenticatedBy{};
};

// `key=value` lines: when, server, offset_ms, setting (done, refused,
// skipped, failed); after an authenticated answer also authenticated (the
// name it was authenticated for); after a stop also stopped (privileges,
// winsock, socket, bind, publishing, receive, exception) and error.
std::string formatResult(const Result& result);
// Reads that text. Keys it does not know, a newer service's, are passed
// over; a missing when, server, offset_ms or setting, a key it knows given
// twice, a line without '=' or unended, a bad value, or a server text
// longer than the resolver takes or holding a control character, is no
// result.
std::optional<Result> parseResult(const std::string& text);

}  // namespace service
