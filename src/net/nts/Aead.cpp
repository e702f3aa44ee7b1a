#include "net/nts/Aead.h"

// Before any other wolfSSL header, so that it sees the library's own build settings.
#include <wolfssl/options.h>
#include <wolfssl/wolfcrypt/aes.h>

#include <cstdint>
#include <limits>

namespace nts {

namespace {

constexpr std::size_t kHalfKey = kKeySize / 2;

void wipe(void* data, std::size_t length) {
    volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = 0;
}

// Scratch bytes that never outlive their use with anything in them.
struct Scratch {
    explicit Scratch(std::size_t length) : bytes(length) {}
    ~Scratch() { wipe(bytes.data(), bytes.size()); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::vector<std::uint8_t> bytes;
};

// An AES key schedule, freed and wiped when it goes: wc_AesFree leaves the
// round keys in place.
class AesKey {
public:
    AesKey() : ready_(wc_AesInit(&aes_, nullptr, INVALID_DEVID) == 0) {}
    ~AesKey() {
        if (ready_) wc_AesFree(&aes_);
        wipe(&aes_, sizeof aes_);
    }
    AesKey(const AesKey&) = delete;
    AesKey& operator=(const AesKey&) = delete;

    bool ready() const { return ready_; }
    Aes* get() { return &aes_; }

private:
    Aes aes_{};
    bool ready_;
};

bool fitsWord32(std::size_t length) { return length <= std::numeric_limits<word32>::max(); }

// wolfSSL reads no byte of an empty input, but copies from it all the same,
// and a copy from a null pointer is undefined even when empty.
const byte* bytesOf(const std::uint8_t* data) {
    static const byte kNone = 0;
    return data != nullptr ? data : &kNone;
}

bool equalInConstantTime(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
    volatile std::uint8_t difference = 0;
    for (std::size_t i = 0; i < length; ++i) difference = static_cast<std::uint8_t>(difference | (a[i] ^ b[i]));
    return difference == 0;
}

}  // namespace

bool sivEncrypt(const Key& key, const std::uint8_t* nonce, std::size_t nonceLength, const std::uint8_t* associated,
                std::size_t associatedLength, const std::uint8_t* plaintext, std::size_t plaintextLength,
                std::vector<std::uint8_t>& ciphertext) {
    ciphertext.clear();
    if (!fitsWord32(nonceLength) || !fitsWord32(associatedLength) || !fitsWord32(plaintextLength)) return false;
    ciphertext.resize(kTagSize + plaintextLength);
    if (wc_AesSivEncrypt(key.data(), kKeySize, bytesOf(associated), static_cast<word32>(associatedLength),
                         bytesOf(nonce), static_cast<word32>(nonceLength), bytesOf(plaintext),
                         static_cast<word32>(plaintextLength), ciphertext.data(),
                         ciphertext.data() + kTagSize) != 0) {
        ciphertext.clear();
        return false;
    }
    return true;
}

// wc_AesSivDecrypt is not used: it writes the plaintext out before it
// checks the tag, and checks it with memcmp, whose time tells how many
// leading bytes matched (with an empty plaintext the value compared is
// fixed, so a tag could be found byte by byte). Here the counter stage
// decrypts into scratch, the tag is computed again from that plaintext by
// encrypting it, and the two tags are compared in constant time; only then
// does the plaintext leave the scratch.
bool sivDecrypt(const Key& key, const std::uint8_t* nonce, std::size_t nonceLength,
                const std::uint8_t* associated, std::size_t associatedLength, const std::uint8_t* ciphertext,
                std::size_t ciphertextLength, std::vector<std::uint8_t>& plaintext) {
    plaintext.clear();
    if (ciphertext == nullptr || ciphertextLength < kTagSize || !fitsWord32(ciphertextLength)) return false;
    const std::uint8_t* tag = ciphertext;
    const std::size_t length = ciphertextLength - kTagSize;

    Scratch candidate(length);
    if (length > 0) {
        // The counter starts at the tag with the top bits of its last two
        // 32-bit words cleared (RFC 5297, section 2.5).
        std::uint8_t counter[kTagSize];
        for (std::size_t i = 0; i < kTagSize; ++i) counter[i] = tag[i];
        counter[8] &= 0x7f;
        counter[12] &= 0x7f;
        AesKey ctr;
        if (!ctr.ready() ||
            wc_AesSetKey(ctr.get(), key.data() + kHalfKey, kHalfKey, counter, AES_ENCRYPTION) != 0 ||
            wc_AesCtrEncrypt(ctr.get(), candidate.bytes.data(), ciphertext + kTagSize,
                             static_cast<word32>(length)) != 0)
            return false;
    }

    Scratch recomputed(0);
    const bool encrypted = sivEncrypt(key, nonce, nonceLength, associated, associatedLength,
                                      candidate.bytes.data(), length, recomputed.bytes);
    if (!encrypted || !equalInConstantTime(recomputed.bytes.data(), tag, kTagSize)) return false;
    plaintext = candidate.bytes;
    return true;
}

}  // namespace nts
