#include "errors/TextRules.h"

#include <cstring>

namespace text {

bool sameIgnoringCase(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

bool equalsIgnoringCase(const char* a, const char* b) {
    std::size_t length = std::strlen(a);
    return length == std::strlen(b) && sameIgnoringCase(a, b, length);
}

Decimal readDecimal(std::string_view text, std::uint64_t cap) {
    Decimal read;
    for (; read.digits < text.size() && isDigit(text[read.digits]); ++read.digits) {
        auto digit = static_cast<std::uint64_t>(text[read.digits] - '0');
        read.value = digit > cap || read.value > (cap - digit) / 10 ? cap : read.value * 10 + digit;
    }
    return read;
}

SignedDecimal readLeadingDecimal(std::string_view text, std::uint64_t cap) {
    SignedDecimal read;
    std::size_t at = 0;
    while (at < text.size() && isSpace(text[at])) ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) read.negative = text[at++] == '-';
    read.magnitude = readDecimal(text.substr(at), cap);
    read.end = at + read.magnitude.digits;
    return read;
}

}  // namespace text
