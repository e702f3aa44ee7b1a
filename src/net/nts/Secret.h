// Wiping what NTS must not leave behind in memory: the keys of a key
// exchange and the cookies that stand for them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/nts/Aead.h"

namespace nts {

// A cookie as the server gave it: opaque bytes, sent back once.
using Cookie = std::vector<std::uint8_t>;

// Zeros written through a volatile pointer, which the compiler may not
// drop as a dead store.
inline void wipe(void* data, std::size_t size) {
    volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

inline void wipe(Key& key) { wipe(key.data(), key.size()); }

// Zeroed, then emptied.
inline void wipe(std::vector<std::uint8_t>& bytes) {
    wipe(bytes.data(), bytes.size());
    bytes.clear();
}

inline void wipe(std::vector<Cookie>& cookies) {
    for (Cookie& cookie : cookies) wipe(cookie);
    cookies.clear();
}

}  // namespace nts
