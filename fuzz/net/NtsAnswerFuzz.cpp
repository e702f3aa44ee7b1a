// The NTS answer's parser with real keys: the input lays out an answer and
// its plaintext, the harness seals the plaintext with the server's fixed
// key over all before it, as a server would, and may then change one
// byte. A changed answer is never authenticated; an answer laid out as a
// server lays it out always is, with exactly the cookies it sealed.
#include <algorithm>

#include "FuzzInput.h"
#include "net/nts/NtsAuthenticator.h"

namespace {

constexpr std::uint64_t kOrigin = 0x0123456789ABCDEFull;

nts::Key fixedKey() {
    nts::Key key{};
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(0x40 + i);
    return key;
}

nts::UniqueId fixedUniqueId() {
    nts::UniqueId id{};
    for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(0xA0 + i);
    return id;
}

void put16(std::vector<std::uint8_t>& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void putField(std::vector<std::uint8_t>& out, std::uint16_t type, const std::uint8_t* body, std::size_t size) {
    std::size_t padded = (size + 3) / 4 * 4;
    put16(out, type);
    put16(out, nts::kFieldHeaderSize + padded);
    out.insert(out.end(), body, body + size);
    out.resize(out.size() + padded - size, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const nts::Key key = fixedKey();
    static const nts::UniqueId uniqueId = fixedUniqueId();
    FuzzInput input(data, size);
    std::uint8_t flags = input.byte();
    const bool structured = (flags & 1) != 0;  // laid out as a server lays it out
    std::uint16_t flipAt = input.number<std::uint16_t>();
    std::uint8_t flipWith = input.byte();
    std::vector<std::uint8_t> nonce = input.bytes(40);
    // The AEAD takes no empty nonce; the parser refuses one before it.
    if (nonce.empty()) nonce.assign(16, 7);

    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> plaintext;
    std::vector<nts::Cookie> sealedCookies;
    if (structured) {
        before.assign(wire::kNtpPacketSize, 0);
        before[0] = 0x24;
        before[1] = static_cast<std::uint8_t>(input.byte() % 15 + 1);
        wire::writeBigEndian64(&before[wire::kNtpOriginOffset], kOrigin);
        putField(before, nts::kFieldUniqueId, uniqueId.data(), uniqueId.size());
        // Cookies of whole words from 12 to 268 bytes.
        for (std::size_t count = input.byte() % 11; count > 0; --count) {
            nts::Cookie cookie(std::size_t{input.byte()} / 4 * 4 + 12, input.byte());
            putField(plaintext, nts::kFieldCookie, cookie.data(), cookie.size());
            if (cookie.size() <= nts::kMaxCookieSize && sealedCookies.size() < nts::kMaxCookies)
                sealedCookies.push_back(cookie);
        }
    } else {
        before = input.bytes(255);
        if ((flags & 2) != 0 && before.size() >= wire::kNtpPacketSize)
            wire::writeBigEndian64(&before[wire::kNtpOriginOffset], kOrigin);
        if ((flags & 4) != 0) putField(before, nts::kFieldUniqueId, uniqueId.data(), uniqueId.size());
        plaintext = input.rest();
    }

    std::vector<std::uint8_t> ciphertext;
    if (!nts::sivEncrypt(key, nonce.data(), nonce.size(), before.data(), before.size(), plaintext.data(),
                         plaintext.size(), ciphertext))
        return 0;
    std::vector<std::uint8_t> answer = before;
    std::vector<std::uint8_t> body;
    put16(body, nonce.size());
    put16(body, ciphertext.size());
    body.insert(body.end(), nonce.begin(), nonce.end());
    body.resize((body.size() + 3) / 4 * 4, 0);
    body.insert(body.end(), ciphertext.begin(), ciphertext.end());
    body.resize((body.size() + 3) / 4 * 4, 0);
    // Additional padding makes a short nonce's room up to 16 bytes.
    std::size_t nonceRoom = (nonce.size() + 3) / 4 * 4;
    if (nonceRoom < nts::kAeadNonceSize) body.resize(body.size() + nts::kAeadNonceSize - nonceRoom, 0);
    // A field too long for its 16-bit length is no answer a server sends.
    if (body.size() + nts::kFieldHeaderSize > 0xFFFF) return 0;
    putField(answer, nts::kFieldAuthenticator, body.data(), body.size());

    const bool changed = flipWith != 0 && flipAt < answer.size();
    if (changed) answer[flipAt] = static_cast<std::uint8_t>(answer[flipAt] ^ flipWith);

    nts::NtsAnswer read = nts::readAnswer(answer.data(), answer.size(), kOrigin, uniqueId, key);
    if (read.kind == nts::AnswerKind::Authenticated) {
        FUZZ_CHECK(!changed);
        FUZZ_CHECK(read.header.origin == kOrigin && read.header.mode == wire::kNtpModeServer);
        FUZZ_CHECK(read.cookies.size() <= nts::kMaxCookies);
        for (const nts::Cookie& cookie : read.cookies)
            FUZZ_CHECK(cookie.size() >= nts::kMinCookieSize && cookie.size() <= nts::kMaxCookieSize);
    }
    if (structured && !changed) {
        FUZZ_CHECK(read.kind == nts::AnswerKind::Authenticated);
        FUZZ_CHECK(read.cookies == sealedCookies);
    }
    FUZZ_CHECK(read.kind != nts::AnswerKind::Sealed);
    return 0;
}
