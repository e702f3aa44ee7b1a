// Random bytes from the system's cryptographic source, for what a stranger
// must not guess.
#pragma once
#include <cstddef>

namespace platform {

// Fills `buffer`; false when the system gave nothing (the caller then
// does without, never with something guessable).
bool cryptoRandom(void* buffer, std::size_t size);

}  // namespace platform
