// Sealing requests and opening answers with real keys: a request's tag
// verifies under the client's key, an answer sealed with the server's key
// is authenticated and brings its cookies, and no byte of it can change.
#include <gtest/gtest.h>

#include "net/nts/NtsTestSupport.h"
#include "net/nts/NtsAuthenticator.h"

using nts::AnswerKind;
using ntstest::answerHeader;
using ntstest::field;
using ntstest::join;
using ntstest::kNonce;
using ntstest::kOrigin;
using ntstest::slice;
using ntstest::uniqueIdField;

namespace {

nts::Key key(std::uint8_t first) {
    nts::Key k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(first + 3 * i);
    return k;
}
const nts::Key kC2s = key(0x11);
const nts::Key kS2c = key(0x77);

Bytes cookieField(std::uint8_t first, std::size_t size = 100) {
    return field(nts::kFieldCookie, ntstest::filled(size, first));
}

// What a server sends: `before` (the header and the unsealed fields) as
// associated data, `plaintext` sealed with the server's key.
Bytes sealed(const Bytes& before, const Bytes& plaintext, const Bytes& nonce = kNonce, std::size_t extraPadding = 0) {
    Bytes ciphertext;
    EXPECT_TRUE(nts::sivEncrypt(kS2c, nonce.data(), nonce.size(), before.data(), before.size(), plaintext.data(),
                                plaintext.size(), ciphertext));
    return join({before, ntstest::authenticator(nonce, ciphertext, extraPadding)});
}

nts::NtsAnswer read(const Bytes& answer, const nts::Key& s2c = kS2c) {
    return nts::readAnswer(answer.data(), answer.size(), kOrigin, ntstest::uniqueId(), s2c);
}

}  // namespace

TEST(NtsSealing, TheRequestEndsWithATagOverAllBeforeIt) {
    const nts::Cookie cookie = ntstest::filled(100, 1);
    nts::AeadNonce nonce{};
    std::copy(kNonce.begin(), kNonce.end(), nonce.begin());
    Bytes request = nts::buildRequest(kOrigin, ntstest::uniqueId(), cookie, 3, nonce, kC2s);
    Bytes before = nts::requestBeforeAuthenticator(kOrigin, ntstest::uniqueId(), cookie, 3);
    ASSERT_EQ(request.size(), before.size() + 40);
    EXPECT_EQ(slice(request, 0, before.size()), before);
    const Bytes head = {0x04, 0x04, 0x00, 0x28, 0x00, 0x10, 0x00, 0x10};
    EXPECT_EQ(slice(request, before.size(), before.size() + 8), head);
    EXPECT_EQ(slice(request, before.size() + 8, before.size() + 24), kNonce);
    Bytes tag = slice(request, before.size() + 24, request.size());
    Bytes plaintext = {1};
    EXPECT_TRUE(nts::sivDecrypt(kC2s, kNonce.data(), kNonce.size(), before.data(), before.size(), tag.data(), tag.size(),
                                plaintext));
    EXPECT_TRUE(plaintext.empty());
    EXPECT_FALSE(nts::sivDecrypt(kS2c, kNonce.data(), kNonce.size(), before.data(), before.size(), tag.data(),
                                 tag.size(), plaintext))
        << "sealed with the client's key, not the server's";
    EXPECT_TRUE(nts::buildRequest(kOrigin, ntstest::uniqueId(), nts::Cookie(10, 1), 0, nonce, kC2s).empty());
}

TEST(NtsOpening, AnAnswerSealedWithTheServersKeyBringsItsCookies) {
    Bytes answer = sealed(join({answerHeader(), uniqueIdField(), cookieField(0xE0)}),
                          join({cookieField(1), field(0x2005, Bytes(12, 5)), cookieField(2, 260), cookieField(3, 104)}));
    nts::NtsAnswer opened = read(answer);
    ASSERT_EQ(opened.kind, AnswerKind::Authenticated);
    EXPECT_EQ(opened.header.transmit, 0xEC00000190000000ull);
    EXPECT_EQ(opened.header.stratum, 2);
    ASSERT_EQ(opened.cookies.size(), 2u) << "the unsealed cookie and the 260-byte one are not taken";
    EXPECT_EQ(opened.cookies[0], ntstest::filled(100, 1));
    EXPECT_EQ(opened.cookies[1], ntstest::filled(104, 3));

    Bytes nine;
    for (std::uint8_t i = 0; i < 9; ++i) nine = join({nine, cookieField(i)});
    nts::NtsAnswer many = read(sealed(join({answerHeader(), uniqueIdField()}), nine));
    ASSERT_EQ(many.kind, AnswerKind::Authenticated);
    EXPECT_EQ(many.cookies.size(), 8u);
    nts::NtsAnswer none = read(sealed(join({answerHeader(), uniqueIdField()}), {}));
    EXPECT_EQ(none.kind, AnswerKind::Authenticated) << "the time is sealed even without new cookies";
    EXPECT_TRUE(none.cookies.empty());
}

TEST(NtsOpening, NoByteOfASealedAnswerCanChange) {
    const Bytes before = join({answerHeader(), uniqueIdField()});
    const Bytes answers[] = {
        sealed(before, join({cookieField(1), cookieField(2)})),
        // A 12-byte nonce, made up to 16 by additional padding.
        sealed(before, cookieField(1), ntstest::filled(12, 0x40), 4),
    };
    for (const Bytes& answer : answers) {
        ASSERT_EQ(read(answer).kind, AnswerKind::Authenticated);
        for (std::size_t i = 0; i < answer.size(); ++i) {
            for (int flip : {0x01, 0x80}) {
                Bytes changed = answer;
                changed[i] = static_cast<std::uint8_t>(changed[i] ^ flip);
                EXPECT_EQ(read(changed).kind, AnswerKind::Unusable) << "byte " << i << " ^ " << flip;
            }
        }
        for (std::size_t size = 0; size < answer.size(); ++size) {
            EXPECT_EQ(read(slice(answer, 0, size)).kind, AnswerKind::Unusable) << "cut to " << size;
        }
        EXPECT_EQ(read(answer, kC2s).kind, AnswerKind::Unusable) << "opened with another key";
    }
}

TEST(NtsOpening, APlaintextOfBrokenFieldsIsRefused) {
    const Bytes before = join({answerHeader(), uniqueIdField()});
    Bytes cut = cookieField(1);
    cut.resize(cut.size() - 4);
    EXPECT_EQ(read(sealed(before, cut)).kind, AnswerKind::Unusable);
    EXPECT_EQ(read(sealed(before, join({cookieField(1), Bytes(8, 0)}))).kind, AnswerKind::Unusable);
}

TEST(NtsOpening, ANakIsTakenWithoutAKeyOnlyWithItsUniqueId) {
    nts::NtsAnswer nak = read(join({ntstest::nakHeader(), uniqueIdField()}));
    EXPECT_EQ(nak.kind, AnswerKind::Nak);
    EXPECT_EQ(std::string(nak.header.referenceId, 4), "NTSN");
    EXPECT_TRUE(nak.cookies.empty());
    EXPECT_EQ(read(ntstest::nakHeader()).kind, AnswerKind::Unusable);
    EXPECT_EQ(read(join({ntstest::nakHeader(), uniqueIdField(ntstest::uniqueId(0x01))})).kind, AnswerKind::Unusable);
}
