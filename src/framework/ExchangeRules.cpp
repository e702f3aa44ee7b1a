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
    // Past 32 bits a number is too large for any range.
    text::Decimal read = text::readDecimal(std::string_view(text).substr(at), std::uint64_t{UINT32_MAX} + 1);
    if (read.digits == 0) return UnsignedField::NotANumber;
    at += read.digits;
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at != text.size()) return UnsignedField::NotANumber;
    if (read.value < min || read.value > max) return UnsignedField::OutOfRange;
    value = static_cast<std::uint32_t>(read.value);
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
