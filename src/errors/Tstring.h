// A heap string that checks itself: a signature word and a contents pointer
// that is never null in a live object. A failed check throws CExc.
#pragma once
#include <cstdint>

class TString {
public:
    static constexpr std::uint32_t SIGNATURE = 0xAAAAAAAAu;

    explicit TString(const char* text);  // null is taken as the empty text
    TString(const TString&) = delete;
    TString& operator=(const TString& theOther);
    // The check runs here too, so destruction can throw.
    ~TString() noexcept(false);

    void check() const;
    const char* cStr() const;

    std::uint32_t ulSignature;
    char* pContents;
};
