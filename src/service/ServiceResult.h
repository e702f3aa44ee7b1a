// What the time service and the clock share: the service's name, the one
// control code it takes, where it publishes its last result, and that
// result's text.
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
// administrators can write; it holds the result's text, ending at a zero.
constexpr const char* kResultMappingName = "Global\\MarivelTimeServiceResult";
constexpr std::uint32_t kResultMappingSize = 512;

// How the service's setting of the clock went.
enum class Setting : std::uint8_t {
    Done,
    Refused,  // Windows refused (ERROR_PRIVILEGE_NOT_HELD)
    Skipped,  // the offset was beyond MaxStep: nothing was set
    Failed,   // any other failure
};

struct Result {
    std::uint32_t when = 0;  // the server's time of the answer, UTC seconds since 1970
    std::string server;      // the server text asked
    std::int64_t offsetMs = 0;  // the server's time minus this computer's
    Setting setting = Setting::Failed;
};

// Four `key=value` lines: when, server, offset_ms, setting (done, refused,
// skipped, failed).
std::string formatResult(const Result& result);
// The text of formatResult, each key once; anything else, or a server text
// longer than the resolver takes or holding a control character, is no
// result.
std::optional<Result> parseResult(const std::string& text);

}  // namespace service
