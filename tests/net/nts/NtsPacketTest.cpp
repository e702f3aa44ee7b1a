// The NTS request's layout up to its Authenticator, the placeholders it
// asks for, and what an answer's layout alone decides: NAKs, and every
// answer refused before a key is used.
#include <gtest/gtest.h>

#include "net/nts/NtsTestSupport.h"
#include "net/nts/NtsPacket.h"

using nts::AnswerKind;
using ntstest::answerHeader;
using ntstest::authenticator;
using ntstest::field;
using ntstest::join;
using ntstest::kNonce;
using ntstest::kOrigin;
using ntstest::slice;
using ntstest::uniqueIdField;

namespace {

const Bytes kTagOnly = ntstest::filled(16, 0x50);
const Bytes kSealedCookies = ntstest::filled(16 + 104, 0x60);

nts::AnswerLayout inspect(const Bytes& answer) {
    return nts::inspectAnswer(answer.data(), answer.size(), kOrigin, ntstest::uniqueId());
}

AnswerKind kindOf(const Bytes& answer) { return inspect(answer).kind; }

}  // namespace

TEST(NtsRequest, HeaderUniqueIdCookieAndPlaceholdersInOrder) {
    const nts::Cookie cookie = ntstest::filled(100, 1);
    Bytes packet = nts::requestBeforeAuthenticator(0x0102030405060708ull, ntstest::uniqueId(), cookie, 2);
    ASSERT_EQ(packet.size(), 48u + 36 + 3 * 104);
    EXPECT_EQ(packet[0], 0x23);
    for (std::size_t i = 1; i < 40; ++i) EXPECT_EQ(packet[i], 0) << i;
    EXPECT_EQ(slice(packet, 40, 48), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    const Bytes uniqueIdHead = {0x01, 0x04, 0x00, 0x24};
    EXPECT_EQ(slice(packet, 48, 52), uniqueIdHead);
    const nts::UniqueId id = ntstest::uniqueId();
    EXPECT_EQ(slice(packet, 52, 84), Bytes(id.begin(), id.end()));
    const Bytes cookieHead = {0x02, 0x04, 0x00, 0x68};
    EXPECT_EQ(slice(packet, 84, 88), cookieHead);
    EXPECT_EQ(slice(packet, 88, 188), cookie);
    const Bytes placeholderHead = {0x03, 0x04, 0x00, 0x68};
    for (std::size_t start : {188u, 292u}) {
        EXPECT_EQ(slice(packet, start, start + 4), placeholderHead) << start;
        EXPECT_EQ(slice(packet, start + 4, start + 104), Bytes(100, 0)) << start;
    }
    // The smallest cookie still makes a 16-byte field.
    Bytes small = nts::requestBeforeAuthenticator(1, ntstest::uniqueId(), ntstest::filled(12, 1), 0);
    ASSERT_EQ(small.size(), 48u + 36 + 16);
    EXPECT_EQ(small[84 + 3], 16);
}

TEST(NtsRequest, CookiesThatCannotGoInAFieldAndTooManyPlaceholdersAreRefused) {
    const nts::UniqueId id = ntstest::uniqueId();
    for (std::size_t size : {0u, 8u, 102u, 260u}) {
        EXPECT_TRUE(nts::requestBeforeAuthenticator(1, id, nts::Cookie(size, 1), 0).empty()) << size;
    }
    EXPECT_FALSE(nts::requestBeforeAuthenticator(1, id, nts::Cookie(100, 1), 7).empty());
    EXPECT_TRUE(nts::requestBeforeAuthenticator(1, id, nts::Cookie(100, 1), 8).empty());
    EXPECT_FALSE(nts::requestBeforeAuthenticator(1, id, nts::Cookie(256, 1), 2).empty());
    EXPECT_TRUE(nts::requestBeforeAuthenticator(1, id, nts::Cookie(256, 1), 3).empty());
    // The largest request: 8 cookie fields of 108 bytes, 988 bytes sealed.
    Bytes largest = nts::requestBeforeAuthenticator(1, id, nts::Cookie(104, 1), 7);
    EXPECT_EQ(largest.size() + nts::kRequestAuthenticatorSize, 988u);
}

TEST(NtsRequest, PlaceholdersBringThePoolBackToEightWithinTheBudget) {
    EXPECT_EQ(nts::placeholdersFor(7, 100), 0u) << "the pool was full";
    EXPECT_EQ(nts::placeholdersFor(3, 100), 4u);
    EXPECT_EQ(nts::placeholdersFor(0, 100), 7u);
    EXPECT_EQ(nts::placeholdersFor(0, 104), 7u) << "8 fields of 108 bytes: 864";
    EXPECT_EQ(nts::placeholdersFor(0, 108), 6u) << "8 fields of 112 would exceed 864";
    EXPECT_EQ(nts::placeholdersFor(0, 256), 2u);
    EXPECT_EQ(nts::placeholdersFor(9, 100), 0u);
}

TEST(NtsAnswerLayout, ASealedAnswerSaysWhereItsPartsLie) {
    Bytes answer = join({answerHeader(), uniqueIdField(), authenticator(kNonce, kSealedCookies)});
    nts::AnswerLayout layout = inspect(answer);
    ASSERT_EQ(layout.kind, AnswerKind::Sealed);
    EXPECT_EQ(layout.authenticatorOffset, 84u);
    EXPECT_EQ(layout.nonceOffset, 92u);
    EXPECT_EQ(layout.nonceLength, 16u);
    EXPECT_EQ(layout.ciphertextOffset, 108u);
    EXPECT_EQ(layout.ciphertextLength, 120u);
    EXPECT_EQ(layout.header.stratum, 2);
    EXPECT_EQ(std::string(layout.header.referenceId, 4), std::string("\x7F\0\0\x01", 4));
    EXPECT_EQ(layout.header.receive, 0xEC00000180000000ull);
    EXPECT_EQ(layout.header.transmit, 0xEC00000190000000ull);
    // A 12-byte nonce made up to 16 by additional padding at the end;
    // fields of others before it, and an unsealed cookie, are passed over.
    Bytes shortNonce = join({answerHeader(), field(0x0204, Bytes(100, 1)), uniqueIdField(), field(0x2005, Bytes(12, 9)),
                             authenticator(ntstest::filled(12, 1), kTagOnly, 4)});
    nts::AnswerLayout padded = inspect(shortNonce);
    ASSERT_EQ(padded.kind, AnswerKind::Sealed);
    EXPECT_EQ(padded.nonceLength, 12u);
    EXPECT_EQ(padded.ciphertextOffset, padded.nonceOffset + 12);
}

TEST(NtsAnswerLayout, ANakEchoesOriginAndUniqueIdButNeedsNoAuthenticator) {
    EXPECT_EQ(kindOf(join({ntstest::nakHeader(), uniqueIdField()})), AnswerKind::Nak);
    EXPECT_EQ(kindOf(join({ntstest::nakHeader(), uniqueIdField(), authenticator(kNonce, kTagOnly)})), AnswerKind::Nak);
    EXPECT_EQ(kindOf(ntstest::nakHeader()), AnswerKind::Unusable) << "no Unique Identifier";
    EXPECT_EQ(kindOf(join({ntstest::nakHeader(), uniqueIdField(ntstest::uniqueId(0xA1))})), AnswerKind::Unusable);
    Bytes stranger = join({ntstest::nakHeader(), uniqueIdField()});
    wire::writeBigEndian64(&stranger[wire::kNtpOriginOffset], kOrigin + 1);
    EXPECT_EQ(kindOf(stranger), AnswerKind::Unusable) << "another request's";
    EXPECT_EQ(kindOf(join({answerHeader(0, 0x52415445), uniqueIdField()})), AnswerKind::Unusable)
        << "an unsealed RATE is no answer";
}

TEST(NtsAnswerLayout, AnythingElseIsRefusedBeforeAKeyIsUsed) {
    const Bytes uid = uniqueIdField();
    const Bytes auth = authenticator(kNonce, kSealedCookies);
    auto withFirstByte = [&](std::uint8_t first) {
        Bytes answer = join({answerHeader(), uid, auth});
        answer[0] = first;
        return answer;
    };
    auto authWithLengths = [&](std::size_t nonceLength, std::size_t ciphertextLength) {
        Bytes changed = auth;
        changed[4] = static_cast<std::uint8_t>(nonceLength >> 8);
        changed[5] = static_cast<std::uint8_t>(nonceLength);
        changed[6] = static_cast<std::uint8_t>(ciphertextLength >> 8);
        changed[7] = static_cast<std::uint8_t>(ciphertextLength);
        return join({answerHeader(), uid, changed});
    };
    Bytes longField = join({answerHeader(), uid, auth});
    longField[84 + 3] += 4;  // the Authenticator claims 4 bytes past the end
    Bytes oddField = join({answerHeader(), uid, field(0x2005, Bytes(12, 0)), auth});
    oddField[84 + 3] = 14;
    Bytes shortField = join({answerHeader(), uid, field(0x2005, Bytes(12, 0)), auth});
    shortField[84 + 3] = 12;
    Bytes extraPaddingNotZero = join({answerHeader(), uid, authenticator(ntstest::filled(12, 1), kTagOnly, 4)});
    extraPaddingNotZero.back() = 1;
    Bytes ciphertextPaddingNotZero = join({answerHeader(), uid, authenticator(kNonce, ntstest::filled(17, 1))});
    ciphertextPaddingNotZero.back() = 1;
    Bytes noncePaddingNotZero = join({answerHeader(), uid, authenticator(ntstest::filled(14, 1), kTagOnly)});
    noncePaddingNotZero[84 + 8 + 14] = 1;
    Bytes cutHeader = answerHeader();
    cutHeader.resize(47);
    Bytes other = join({answerHeader(), uid, auth});
    wire::writeBigEndian64(&other[wire::kNtpOriginOffset], 0);

    struct Case {
        Bytes answer;
        const char* what;
    };
    const Case cases[] = {
        {cutHeader, "shorter than a header"},
        {answerHeader(), "no fields"},
        {other, "another origin"},
        {withFirstByte(0x1C), "version 3"},
        {withFirstByte(0x23), "a client's"},
        {withFirstByte(0x25), "broadcast"},
        {join({answerHeader(), auth}), "no Unique Identifier"},
        {join({answerHeader(), uniqueIdField(ntstest::uniqueId(0xA1)), auth}), "another Unique Identifier"},
        {join({answerHeader(), field(0x0104, Bytes(36, 0xA0)), auth}), "a longer Unique Identifier"},
        {join({answerHeader(), uid, uid, auth}), "the Unique Identifier twice"},
        {join({answerHeader(), uid}), "no Authenticator"},
        {join({answerHeader(), uid, auth, field(0x2005, Bytes(12, 0))}), "a field after the Authenticator"},
        {join({answerHeader(), uid, auth, auth}), "two Authenticators"},
        {join({answerHeader(), uid, auth, Bytes(20, 0)}), "a legacy MAC after it"},
        {longField, "a field past the end"},
        {oddField, "a field length not a multiple of 4"},
        {shortField, "a field under 16 bytes"},
        {join({answerHeader(), uid, auth, Bytes(2, 0)}), "two bytes left over"},
        {authWithLengths(0, 120), "no nonce"},
        {authWithLengths(16, 15), "a ciphertext shorter than the tag"},
        {authWithLengths(16, 124), "a ciphertext past its field"},
        {authWithLengths(20, 120), "a nonce past its field"},
        {join({answerHeader(), uid, authenticator(ntstest::filled(12, 1), kTagOnly)}), "a short nonce unpadded"},
        {extraPaddingNotZero, "additional padding that is not zeros"},
        {noncePaddingNotZero, "nonce padding that is not zeros"},
        {ciphertextPaddingNotZero, "ciphertext padding that is not zeros"},
    };
    for (const Case& c : cases) EXPECT_EQ(kindOf(c.answer), AnswerKind::Unusable) << c.what;
}
