// How the program reads texts it is given: letters compared without regard
// to case, and decimal numbers (both in the "C" locale's ASCII sense,
// whatever the code page).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace text {

// 'A' to 'Z' as 'a' to 'z'; every other byte as it is.
constexpr char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The first `length` characters of both are the same but for case.
bool sameIgnoringCase(const char* a, const char* b, std::size_t length);
// Both whole texts are the same but for case.
bool equalsIgnoringCase(const char* a, const char* b);

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
// The C library's white space: blank, tab, and the line and page breaks.
constexpr bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The run of decimal digits that `text` starts with: how many there are,
// and their value, or `cap` when the value is larger (so no length of run
// overflows).
struct Decimal {
    std::uint64_t value = 0;
    std::size_t digits = 0;
};
Decimal readDecimal(std::string_view text, std::uint64_t cap);

// atoi's reading: white space, an optional sign, then readDecimal's digits
// (none at all reads as 0); `end` is where the digits stop.
struct SignedDecimal {
    bool negative = false;
    Decimal magnitude;
    std::size_t end = 0;
};
SignedDecimal readLeadingDecimal(std::string_view text, std::uint64_t cap);

}  // namespace text
