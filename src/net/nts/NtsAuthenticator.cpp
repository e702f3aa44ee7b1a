#include "net/nts/NtsAuthenticator.h"

namespace nts {

std::vector<std::uint8_t> buildRequest(std::uint64_t nonce, const UniqueId& uniqueId, const Cookie& cookie,
                                       std::size_t placeholders, const AeadNonce& aeadNonce, const Key& c2s) {
    std::vector<std::uint8_t> packet = requestBeforeAuthenticator(nonce, uniqueId, cookie, placeholders);
    if (packet.empty()) return packet;
    std::vector<std::uint8_t> ciphertext;
    const std::uint8_t nothing = 0;
    if (!sivEncrypt(c2s, aeadNonce.data(), aeadNonce.size(), packet.data(), packet.size(), &nothing, 0,
                    ciphertext) ||
        ciphertext.size() != kTagSize)
        return {};
    auto put16 = [&packet](std::size_t value) {
        packet.push_back(static_cast<std::uint8_t>(value >> 8));
        packet.push_back(static_cast<std::uint8_t>(value));
    };
    put16(kFieldAuthenticator);
    put16(kRequestAuthenticatorSize);
    put16(aeadNonce.size());
    put16(ciphertext.size());
    packet.insert(packet.end(), aeadNonce.begin(), aeadNonce.end());
    packet.insert(packet.end(), ciphertext.begin(), ciphertext.end());
    return packet;
}

NtsAnswer readAnswer(const std::uint8_t* data, std::size_t length, std::uint64_t origin, const UniqueId& uniqueId,
                     const Key& s2c) {
    NtsAnswer answer;
    AnswerLayout layout = inspectAnswer(data, length, origin, uniqueId);
    if (layout.kind == AnswerKind::Nak) {
        answer.kind = AnswerKind::Nak;
        answer.header = layout.header;
        return answer;
    }
    if (layout.kind != AnswerKind::Sealed) return answer;

    std::vector<std::uint8_t> plaintext;
    if (!sivDecrypt(s2c, data + layout.nonceOffset, layout.nonceLength, data, layout.authenticatorOffset,
                    data + layout.ciphertextOffset, layout.ciphertextLength, plaintext))
        return answer;
    ExtensionField field{};
    std::vector<Cookie> cookies;
    for (std::size_t offset = 0; offset < plaintext.size(); offset += field.size) {
        if (!readExtensionField(plaintext.data(), plaintext.size(), offset, field)) {
            wipe(cookies);
            wipe(plaintext);
            return answer;
        }
        std::size_t cookieSize = field.size - kFieldHeaderSize;
        if (field.type != kFieldCookie || cookieSize < kMinCookieSize || cookieSize > kMaxCookieSize) continue;
        if (cookies.size() < kMaxCookies) {
            auto body = plaintext.begin() + static_cast<std::ptrdiff_t>(field.bodyOffset);
            cookies.emplace_back(body, body + static_cast<std::ptrdiff_t>(cookieSize));
        }
    }
    wipe(plaintext);
    answer.kind = AnswerKind::Authenticated;
    answer.header = layout.header;
    answer.cookies = std::move(cookies);
    return answer;
}

}  // namespace nts
