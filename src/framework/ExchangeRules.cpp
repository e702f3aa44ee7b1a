#include "framework/ExchangeRules.h"

#include "errors/TextRules.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const char* const kNotAPositiveIntegerMessage = "Please enter a positive integer.";

UnsignedField readUnsignedField(const std::string& text, std::uint32_t min, std::uint32_t max,
                                std::uint32_t& value) {
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at < text.size() && text[at] == '+') ++at;
    std::size_t firstDigit = at;
    std::uint64_t read = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        read = read * 10 + static_cast<std::uint64_t>(text[at] - '0');
        if (read > 0xFFFFFFFFull) read = 0x100000000ull;  // too large for any range
    }
    if (at == firstDigit) return UnsignedField::NotANumber;
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at != text.size()) return UnsignedField::NotANumber;
    if (read < min || read > max) return UnsignedField::OutOfRange;
    value = static_cast<std::uint32_t>(read);
    return UnsignedField::Ok;
}

std::string outOfRangeMessage(std::uint32_t min, std::uint32_t max) {
    return "Please enter an integer between " + std::to_string(min) + " and " + std::to_string(max) + ".";
}

std::optional<std::size_t> findPrefixItem(const std::vector<std::string>& items, const std::string& text) {
    if (text.empty()) return std::nullopt;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& item = items[i];
        if (item.size() >= text.size() && text::sameIgnoringCase(item.c_str(), text.c_str(), text.size())) return i;
    }
    return std::nullopt;
}
