#include "link/ServiceResult.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <string_view>

#include "errors/TextRules.h"
#include "net/Resolve.h"

namespace service {
namespace {

constexpr const char* kSettingWords[] = {"done", "refused", "skipped", "failed"};
// In the order of StopCause, from Privileges to Exception.
constexpr const char* kStopWords[] = {"privileges", "winsock", "socket", "bind", "publishing", "receive", "exception"};

// The keys this reader knows, in the order formatResult writes them.
enum Key : std::size_t { kWhen, kServer, kOffsetMs, kSetting, kAuthenticated, kStopped, kError, kKeyCount };
constexpr std::string_view kKeyNames[kKeyCount] = {"when",          "server",  "offset_ms", "setting",
                                                   "authenticated", "stopped", "error"};
constexpr std::size_t kRequiredKeys = kAuthenticated;  // when to setting

// Decimal digits only, no sign or blank, within `limit`.
bool readDigits(std::string_view text, std::uint64_t limit, std::uint64_t& value) {
    text::Decimal read = text::readDecimal(text, limit + 1);
    value = read.value;
    return !text.empty() && read.digits == text.size() && read.value <= limit;
}

bool readSigned(std::string_view text, std::int64_t& value) {
    bool negative = !text.empty() && text[0] == '-';
    std::uint64_t magnitude = 0;
    if (!readDigits(negative ? text.substr(1) : text, std::numeric_limits<std::int64_t>::max(), magnitude)) {
        return false;
    }
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool readSetting(std::string_view text, SettingOutcome& setting) {
    for (std::size_t i = 0; i < std::size(kSettingWords); ++i) {
        if (text == kSettingWords[i]) {
            setting = static_cast<SettingOutcome>(i);
            return true;
        }
    }
    return false;
}

// A cause this reader does not know is still a stop.
bool readStopCause(std::string_view text, StopCause& cause) {
    if (text.empty()) return false;
    cause = StopCause::Other;
    for (std::size_t i = 0; i < std::size(kStopWords); ++i) {
        if (text == kStopWords[i]) cause = static_cast<StopCause>(i + 1);
    }
    return true;
}

bool isServerText(std::string_view text) {
    if (text.empty() || text.size() > kServerTextLimit) return false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

std::string formatResult(const Result& result) {
    std::string text = "when=" + std::to_string(result.when) + "\nserver=" + result.server +
                       "\noffset_ms=" + std::to_string(result.offsetMs) +
                       "\nsetting=" + kSettingWords[static_cast<std::size_t>(result.setting)] + "\n";
    if (!result.authenticatedBy.empty()) text += "authenticated=" + result.authenticatedBy + "\n";
    auto cause = static_cast<std::size_t>(result.stopped);
    if (cause == 0 || cause > std::size(kStopWords)) return text;
    return text + "stopped=" + kStopWords[cause - 1] + "\nerror=" + std::to_string(result.error) + "\n";
}

std::optional<Result> parseResult(const std::string& text) {
    std::string_view values[kKeyCount];
    bool seen[kKeyCount] = {};
    std::string_view rest = text;
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // every line ends
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        std::string_view name = line.substr(0, equals);
        for (std::size_t key = 0; key < kKeyCount; ++key) {
            if (name != kKeyNames[key]) continue;
            if (seen[key]) return std::nullopt;
            seen[key] = true;
            values[key] = line.substr(equals + 1);
        }
    }
    for (std::size_t key = 0; key < kRequiredKeys; ++key) {
        if (!seen[key]) return std::nullopt;
    }
    Result result;
    std::uint64_t when = 0;
    if (!readDigits(values[kWhen], UINT32_MAX, when) || !readSigned(values[kOffsetMs], result.offsetMs) ||
        !readSetting(values[kSetting], result.setting) || !isServerText(values[kServer])) {
        return std::nullopt;
    }
    std::uint64_t error = 0;
    if (seen[kAuthenticated] && !isServerText(values[kAuthenticated])) return std::nullopt;
    if ((seen[kStopped] && !readStopCause(values[kStopped], result.stopped)) ||
        (seen[kError] && !readDigits(values[kError], UINT32_MAX, error))) {
        return std::nullopt;
    }
    result.when = static_cast<std::uint32_t>(when);
    result.server = std::string(values[kServer]);
    result.authenticatedBy = std::string(values[kAuthenticated]);
    result.error = static_cast<std::uint32_t>(error);
    return result;
}

}  // namespace service
