#include "errors/FormatText.h"

#include <cstdarg>
#include <cstdio>

std::size_t formatText(char* buffer, std::size_t size, const char* format, ...) {
    if (size == 0) return 0;
    va_list args;
    va_start(args, format);
    int wanted = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    std::size_t length = static_cast<std::size_t>(wanted);
    return length < size ? length : size - 1;
}
