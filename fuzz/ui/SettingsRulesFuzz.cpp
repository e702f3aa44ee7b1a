// The settings dialog's rules, fed with any texts and numbers: the
// poll-period clamp against the C library's reading of the number, the
// validation of a number field, the server list's split and rebuild
// against each other, the item a typed prefix selects, and the
// last-response text.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "framework/ExchangeRules.h"
#include "ui/SettingsRules.h"

namespace {

void checkPollPeriodClamp(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    std::optional<std::string> replaced = clampedPollPeriodText(text);
    if (value >= kPollPeriodMinMinutes && value <= kPollPeriodMaxMinutes) {
        FUZZ_CHECK(!replaced.has_value());
    } else {
        FUZZ_CHECK(replaced == std::to_string(value == 0 ? kPollPeriodMinMinutes : kPollPeriodMaxMinutes));
        FUZZ_CHECK(!clampedPollPeriodText(*replaced).has_value());
    }
}

// A number field holds blanks or tabs, at most one "+", digits, blanks
// or tabs, and nothing else.
void checkNumberField(const std::string& text, std::uint32_t max) {
    std::uint32_t value = 0xDEADBEEF;
    UnsignedField read = readUnsignedField(text, kPollPeriodMinMinutes, max, value);
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    std::string digits = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (!digits.empty() && digits[0] == '+') digits.erase(0, 1);
    bool isNumber = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    if (!isNumber) {
        FUZZ_CHECK(read == UnsignedField::NotANumber);
        return;
    }
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    unsigned long long number = digits.size() > 10 ? ULLONG_MAX : std::strtoull(digits.c_str(), nullptr, 10);
    bool inRange = number >= kPollPeriodMinMinutes && number <= max;
    FUZZ_CHECK(read == (inRange ? UnsignedField::Ok : UnsignedField::OutOfRange));
    if (inRange) FUZZ_CHECK(value == number);
}

bool beginsWithoutCase(const std::string& item, const std::string& prefix) {
    if (item.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(item[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

void checkPrefixSelection(const std::vector<std::string>& items, const std::string& text) {
    std::optional<std::size_t> selected = findPrefixItem(items, text);
    auto firstMatch = std::find_if(items.begin(), items.end(),
                                   [&](const std::string& item) { return beginsWithoutCase(item, text); });
    if (text.empty() || firstMatch == items.end()) {
        FUZZ_CHECK(!selected.has_value());
    } else {
        FUZZ_CHECK(selected == static_cast<std::size_t>(firstMatch - items.begin()));
    }
}

void checkServerList(const std::string& list, const std::string& timeServer) {
    std::vector<std::string> items = splitServerList(list);
    std::string joined;
    for (const std::string& item : items) {
        FUZZ_CHECK(!item.empty() && item.find('|') == std::string::npos);
        joined += item;
    }
    std::string withoutBars = list;
    withoutBars.erase(std::remove(withoutBars.begin(), withoutBars.end(), '|'), withoutBars.end());
    FUZZ_CHECK(joined == withoutBars);
    checkPrefixSelection(items, timeServer);

    if (timeServer.find('|') != std::string::npos) return;  // the dialog's server text has no bar to split at
    std::string rebuilt = rebuildServerList(items, timeServer);
    std::vector<std::string> expected(items.rbegin(), items.rend());
    std::string stored;
    for (const std::string& item : expected) stored += item + "|";
    if (stored.find(timeServer) == std::string::npos) expected.push_back(timeServer);
    FUZZ_CHECK(splitServerList(rebuilt) == expected);
    FUZZ_CHECK(rebuilt.empty() || rebuilt.back() == '|');
}

void checkLastResponse(std::uint32_t lastResponseTime, std::int32_t correction) {
    std::string text = lastResponseText(lastResponseTime, correction);
    if (lastResponseTime == 0) {
        FUZZ_CHECK(text == "Never");
        return;
    }
    std::string tail = "\r\n Correction: " + std::to_string(correction) + " Second";
    if (correction != 1 && correction != -1) tail += "s";
    FUZZ_CHECK(text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::uint32_t lastResponseTime = input.number<std::uint32_t>();
    std::int32_t correction = input.number<std::int32_t>();
    std::string pollText = input.text();
    std::string list = input.text();
    std::string timeServer = input.text();
    checkPollPeriodClamp(pollText);
    checkNumberField(pollText, kPollPeriodValidMax);
    checkServerList(list, timeServer);
    checkLastResponse(lastResponseTime, correction);
    return 0;
}
