// How the program reads texts it is given: letters compared without regard
// to case (in the "C" locale's ASCII sense, whatever the code page).
#pragma once
#include <cstddef>

namespace text {

// 'A' to 'Z' as 'a' to 'z'; every other byte as it is.
constexpr char foldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The first `length` characters of both are the same but for case.
bool sameIgnoringCase(const char* a, const char* b, std::size_t length);
// Both whole texts are the same but for case.
bool equalsIgnoringCase(const char* a, const char* b);

}  // namespace text
