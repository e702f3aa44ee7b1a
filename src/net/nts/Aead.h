// The one AEAD algorithm NTS is negotiated with here: AEAD_AES_SIV_CMAC_256
// (RFC 5297, IANA AEAD number 15), with one associated-data item and a
// nonce, as RFC 8915 section 5.6 uses it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nts {

constexpr std::uint16_t kAeadAesSivCmac256 = 15;
constexpr std::size_t kKeySize = 32;  // two 128-bit AES keys: CMAC's, then CTR's
constexpr std::size_t kTagSize = 16;  // the synthetic IV, first in the ciphertext
using Key = std::array<std::uint8_t, kKeySize>;

// The ciphertext is the 16-byte tag followed by the encrypted plaintext.
// An empty nonce is left out of S2V, as in RFC 5297's deterministic use.
// False only when the library fails.
bool sivEncrypt(const Key& key, const std::uint8_t* nonce, std::size_t nonceLength, const std::uint8_t* associated,
                std::size_t associatedLength, const std::uint8_t* plaintext, std::size_t plaintextLength,
                std::vector<std::uint8_t>& ciphertext);

// The plaintext when the tag verifies. Otherwise false, and `plaintext`
// is left empty: nothing of a forged ciphertext is ever handed on.
bool sivDecrypt(const Key& key, const std::uint8_t* nonce, std::size_t nonceLength,
                const std::uint8_t* associated, std::size_t associatedLength, const std::uint8_t* ciphertext,
                std::size_t ciphertextLength, std::vector<std::uint8_t>& plaintext);

}  // namespace nts
