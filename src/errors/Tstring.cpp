#include "errors/Tstring.h"

#include <cstdlib>
#include <cstring>

#include "errors/Exceptions.h"

namespace {

const char kSourceName[] = "Tstring.cpp";

// Heap copy of a zero-terminated text; null copies as null.
char* copyText(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy == nullptr) throw CExc(-1, "out of memory copying %zu bytes", size);
    std::memcpy(copy, text, size);
    return copy;
}

}  // namespace

TString::TString(const char* text) : ulSignature(SIGNATURE), pContents(copyText(text != nullptr ? text : "")) {}

TString& TString::operator=(const TString& theOther) {
    if (pContents == nullptr)
        throw CExc(0, "(%s) fails in %s at line %d", "pContents != 0", kSourceName, 185);
    if (theOther.pContents == nullptr)
        throw CExc(0, "(%s) fails in %s at line %d", "theOther.pContents != 0", kSourceName, 186);
    char* copy = copyText(theOther.pContents);
    std::free(pContents);
    pContents = copy;
    check();
    return *this;
}

TString::~TString() noexcept(false) {
    check();
    std::free(pContents);
}

void TString::check() const {
    if (ulSignature != SIGNATURE)
        throw CExc(0, "(%s) fails in %s at line %d", "ulSignature == SIGNATURE", kSourceName, 132);
    if (pContents == nullptr) throw CExc(-1, "TString::pContents == 0");
}

const char* TString::cStr() const {
    check();
    return pContents;
}
