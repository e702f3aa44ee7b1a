// printf-style formatting into a fixed-size buffer. A text that does not fit
// is cut, always zero-terminated; the buffer never overflows.
#pragma once
#include <cstddef>

// Returns the length of the text now in the buffer.
std::size_t formatText(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));

