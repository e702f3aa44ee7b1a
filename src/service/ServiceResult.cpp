#include "service/ServiceResult.h"

#include <cstdint>
#include <limits>
#include <map>

#include "net/Resolve.h"

namespace service {
namespace {

constexpr const char* kSettingWords[] = {"done", "refused", "skipped", "failed"};

// Decimal digits only, no sign or blank, within `limit`.
bool readDigits(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

bool readSigned(const std::string& text, std::int64_t& value) {
    bool negative = !text.empty() && text[0] == '-';
    std::uint64_t magnitude = 0;
    if (!readDigits(negative ? text.substr(1) : text, std::numeric_limits<std::int64_t>::max(), magnitude)) {
        return false;
    }
    value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

bool readSetting(const std::string& text, Setting& setting) {
    for (std::size_t i = 0; i < std::size(kSettingWords); ++i) {
        if (text == kSettingWords[i]) {
            setting = static_cast<Setting>(i);
            return true;
        }
    }
    return false;
}

bool isServerText(const std::string& text) {
    if (text.empty() || text.size() > kServerTextLimit) return false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

std::string formatResult(const Result& result) {
    return "when=" + std::to_string(result.when) + "\nserver=" + result.server +
           "\noffset_ms=" + std::to_string(result.offsetMs) +
           "\nsetting=" + kSettingWords[static_cast<std::size_t>(result.setting)] + "\n";
}

std::optional<Result> parseResult(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) return std::nullopt;  // every line ends
        std::string line = text.substr(start, end - start);
        start = end + 1;
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) return std::nullopt;
        if (!fields.emplace(line.substr(0, equals), line.substr(equals + 1)).second) return std::nullopt;
    }
    if (fields.size() != 4) return std::nullopt;
    Result result;
    std::uint64_t when = 0;
    auto has = [&fields](const char* key) { return fields.count(key) == 1; };
    if (!has("when") || !has("server") || !has("offset_ms") || !has("setting")) return std::nullopt;
    if (!readDigits(fields["when"], UINT32_MAX, when) || !readSigned(fields["offset_ms"], result.offsetMs) ||
        !readSetting(fields["setting"], result.setting) || !isServerText(fields["server"])) {
        return std::nullopt;
    }
    result.when = static_cast<std::uint32_t>(when);
    result.server = fields["server"];
    return result;
}

}  // namespace service
