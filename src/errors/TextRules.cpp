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

}  // namespace text
