// The NTS request style with a key exchange of the test's own and a server
// played by the test with the exchange's keys: when a key exchange
// happens, what each request carries, which answers are taken, and that
// nothing unauthenticated ever goes out or comes in.
#include <gtest/gtest.h>

#include <set>

#include "net/NetTestSupport.h"
#include "net/nts/NtsTestSupport.h"
#include "net/Reply.h"
#include "net/nts/NtsAuthenticator.h"
#include "net/nts/NtsStyle.h"

namespace {

nts::Key keyFrom(std::uint8_t first) {
    nts::Key key{};
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(first + i);
    return key;
}

class NtsStyleTest : public ::testing::Test {
protected:
    NtsStyleTest()
        : style([this](const std::string& server) {
              askedExchanges.push_back(server);
              nts::KeResult result;
              result.outcome = failure;
              result.error = failure == nts::KeOutcome::Done ? 0 : 10061;
              result.subject = server.substr(0, server.rfind(':'));
              if (failure != nts::KeOutcome::Done) return result;
              ++exchanges;
              result.c2s = keyFrom(static_cast<std::uint8_t>(0x10 * exchanges));
              result.s2c = keyFrom(static_cast<std::uint8_t>(0x10 * exchanges + 1));
              for (int i = 0; i < 8; ++i) result.cookies.push_back(cookie());
              const std::uint8_t address[4] = {127, 0, 0, 9};
              std::copy(address, address + 4, result.address);
              result.port = 11123;
              return result;
          }) {}

    // A new cookie of 100 bytes, each different.
    nts::Cookie cookie() {
        ++cookiesMade;
        nts::Cookie made(100, static_cast<std::uint8_t>(cookiesMade));
        made[0] = static_cast<std::uint8_t>(cookiesMade >> 8);
        return made;
    }
    nts::Key serverToClient() const { return keyFrom(static_cast<std::uint8_t>(0x10 * exchanges + 1)); }

    // The record of a request that left as prepared.
    RequestRecord leave(const std::string& server = "nts.example:4460") {
        PreparedRequest prepared = style.prepare(server, "nts");
        EXPECT_TRUE(prepared.ready);
        RequestRecord record;
        record.serial = 1;
        record.sent = true;
        record.style = &style;
        record.server = server;
        record.nonce = prepared.nonce;
        record.memory = prepared.memory;
        std::copy(prepared.destination.address, prepared.destination.address + 4, record.address);
        record.port = prepared.destination.port;
        datagram = prepared.datagram;
        return record;
    }
    // The cookie the last request carried: the field after its identifier.
    Bytes cookieSent() const {
        nts::ExtensionField uid{}, sent{};
        EXPECT_TRUE(nts::readExtensionField(datagram.data(), datagram.size(), wire::kNtpPacketSize, uid));
        EXPECT_TRUE(nts::readExtensionField(datagram.data(), datagram.size(), uid.offset + uid.size, sent));
        EXPECT_EQ(sent.type, nts::kFieldCookie);
        return Bytes(datagram.begin() + static_cast<std::ptrdiff_t>(sent.bodyOffset),
                     datagram.begin() + static_cast<std::ptrdiff_t>(sent.offset + sent.size));
    }
    // The server's answer to the last request, sealed with `s2c`, with
    // `newCookies` new cookies; `stratum` 0 with "NTSN" and nothing sealed
    // is a NAK.
    Bytes answer(std::size_t newCookies = 1, std::uint8_t stratum = 2, const char* reference = "GPS ") {
        std::uint64_t origin = wire::readBigEndian64(datagram.data(), wire::kNtpTransmitOffset);
        Bytes header(wire::kNtpPacketSize, 0);
        header[0] = 0x24;
        header[1] = stratum;
        std::copy(reference, reference + 4, &header[wire::kNtpReferenceIdOffset]);
        wire::writeBigEndian64(&header[wire::kNtpOriginOffset], origin);
        wire::writeBigEndian64(&header[wire::kNtpReceiveOffset], 0xEC00000180000000ull);
        wire::writeBigEndian64(&header[wire::kNtpTransmitOffset], 0xEC00000300000000ull);
        nts::ExtensionField uid{};
        nts::readExtensionField(datagram.data(), datagram.size(), wire::kNtpPacketSize, uid);
        Bytes before = ntstest::join(
            {header, Bytes(datagram.begin() + static_cast<std::ptrdiff_t>(uid.offset),
                           datagram.begin() + static_cast<std::ptrdiff_t>(uid.offset + uid.size))});
        if (stratum == 0 && std::string(reference, 4) == "NTSN") return before;
        Bytes plaintext;
        for (std::size_t i = 0; i < newCookies; ++i) {
            nts::Cookie made = cookie();
            Bytes field = ntstest::field(nts::kFieldCookie, Bytes(made.begin(), made.end()));
            plaintext.insert(plaintext.end(), field.begin(), field.end());
        }
        const Bytes nonce = ntstest::filled(16, 0x55);
        Bytes ciphertext;
        EXPECT_TRUE(nts::sivEncrypt(serverToClient(), nonce.data(), nonce.size(), before.data(), before.size(),
                                    plaintext.data(), plaintext.size(), ciphertext));
        return ntstest::join({before, ntstest::authenticator(nonce, ciphertext)});
    }
    std::optional<Sample> judge(const RequestRecord& request, const Bytes& reply) {
        CInetAddr from;
        std::copy(request.address, request.address + 4, from.address);
        from.port = request.port;
        return judgeReply(request, from, reply.data(), reply.size(), ReplyMoment{});
    }
    // Judged and taken, as the receiving thread takes an answer.
    std::optional<Sample> take(const RequestRecord& request, const Bytes& reply) {
        std::optional<Sample> sample = judge(request, reply);
        if (sample) style.taken(*sample);
        return sample;
    }

    nts::KeOutcome failure = nts::KeOutcome::Done;
    int exchanges = 0;
    int cookiesMade = 0;
    std::vector<std::string> askedExchanges;
    Bytes datagram;
    NtsStyle style;
};

}  // namespace

TEST_F(NtsStyleTest, OneKeyExchangeThenEveryRequestASealedNtpV4PacketWithACookieUsedOnce) {
    std::set<Bytes> cookies;
    for (int request = 0; request < 10; ++request) {
        RequestRecord sent = leave();
        ASSERT_GE(datagram.size(), wire::kNtpPacketSize + 4 + 32 + 4 + 100 + 40);
        EXPECT_EQ(datagram[0], 0x23) << "leap 0, version 4, client";
        EXPECT_EQ(wire::readBigEndian64(datagram.data(), wire::kNtpTransmitOffset), sent.nonce);
        EXPECT_EQ(sent.address[3], 9) << "where the key exchange said";
        EXPECT_EQ(sent.port, 11123);
        EXPECT_TRUE(cookies.insert(cookieSent()).second) << "a cookie went out twice";
        ASSERT_TRUE(take(sent, answer()).has_value());
    }
    EXPECT_EQ(exchanges, 1) << "the answers' cookies kept the pool full";
    EXPECT_EQ(askedExchanges, (std::vector<std::string>{"nts.example:4460"}));
}

TEST_F(NtsStyleTest, LostRequestsSpendTheCookiesAndPlaceholdersAskForMore) {
    leave();
    std::size_t first = datagram.size();
    for (int lost = 1; lost < 8; ++lost) leave();
    EXPECT_GT(datagram.size(), first) << "low on cookies, the request asks for more with placeholders";
    EXPECT_EQ(exchanges, 1);
    EXPECT_EQ(style.cookiesLeft(), 0u);
    leave();
    EXPECT_EQ(exchanges, 2) << "the cookies ran out: a new key exchange";
    EXPECT_EQ(style.cookiesLeft(), 7u);
}

TEST_F(NtsStyleTest, OnlyAnAnswerThatOpensWithTheKeyIsTakenAndItSaysByWhom) {
    RequestRecord sent = leave();
    Bytes genuine = answer();
    for (std::size_t at = 0; at < genuine.size(); ++at) {
        Bytes changed = genuine;
        changed[at] ^= 0x01;
        EXPECT_FALSE(judge(sent, changed)) << "byte " << at << " changed unseen";
    }
    // What an NTP server would answer, echoing the nonce: never taken here.
    Bytes plain = echoing(ntpReply(1796169600u), sent.nonce);
    plain[0] = 0x24;
    EXPECT_FALSE(judge(sent, plain)) << "an unauthenticated answer was used";
    EXPECT_FALSE(judge(sent, timeReply(1796169600u)));

    std::optional<Sample> sample = take(sent, genuine);
    ASSERT_TRUE(sample.has_value());
    EXPECT_FALSE(sample->kiss);
    EXPECT_EQ(sample->authenticatedBy, "nts.example");
    EXPECT_EQ(sample->ntp.transmit, 0xEC00000300000000ull);
    EXPECT_EQ(style.cookiesLeft(), 8u) << "the answer's cookie came back into the pool";

    // An unsynchronized server's answer is authenticated but not the time.
    sent = leave();
    EXPECT_FALSE(judge(sent, answer(1, 16)));
}

TEST_F(NtsStyleTest, ANakThatEchoesTheRequestEndsTheCookiesAndTheNextRequestExchangesKeys) {
    RequestRecord sent = leave();
    Bytes nak = answer(0, 0, "NTSN");
    RequestRecord other = sent;
    other.memory = leave().memory;  // another request's identifier
    EXPECT_FALSE(judge(other, nak)) << "a NAK that does not echo the identifier";
    std::optional<Sample> sample = take(sent, nak);
    ASSERT_TRUE(sample.has_value());
    EXPECT_TRUE(sample->kiss) << "a NAK's timestamps are not the time";
    EXPECT_TRUE(sample->authenticatedBy.empty());
    EXPECT_EQ(style.cookiesLeft(), 0u);
    leave();
    EXPECT_EQ(exchanges, 2);
}

TEST_F(NtsStyleTest, AnotherServerMeansAnotherKeyExchange) {
    leave("a.example");
    leave("a.example");
    leave("b.example:4461");
    leave("a.example");
    EXPECT_EQ(askedExchanges, (std::vector<std::string>{"a.example", "b.example:4461", "a.example"}));
}

TEST_F(NtsStyleTest, AFailedKeyExchangeSendsNothingAndSaysWhy) {
    const std::pair<nts::KeOutcome, RequestOutcome> cases[] = {
        {nts::KeOutcome::NoConnection, RequestOutcome::NoKeyExchange},
        {nts::KeOutcome::CertificateUntrusted, RequestOutcome::CertificateUntrusted},
        {nts::KeOutcome::CertificateName, RequestOutcome::CertificateName},
        {nts::KeOutcome::CertificateDates, RequestOutcome::CertificateDates},
        {nts::KeOutcome::ServerRefused, RequestOutcome::KeyExchangeRefused},
        {nts::KeOutcome::NameNotFound, RequestOutcome::NameNotFound},
        {nts::KeOutcome::Failed, RequestOutcome::KeyExchangeFailed},
    };
    for (const auto& [exchange, outcome] : cases) {
        failure = exchange;
        PreparedRequest prepared = style.prepare("nts.example:4460", "nts");
        EXPECT_FALSE(prepared.ready) << static_cast<int>(exchange);
        EXPECT_TRUE(prepared.datagram.empty()) << "nothing unauthenticated goes out";
        EXPECT_EQ(prepared.outcome, outcome);
        EXPECT_EQ(prepared.subject, "nts.example");
    }
    EXPECT_EQ(askedExchanges.size(), 7u) << "each request tries the exchange again";
}

TEST_F(NtsStyleTest, TheOffsetComesFromAllFourTimestamps) {
    RequestRecord sent = leave();
    std::optional<Sample> sample = judge(sent, answer());
    ASSERT_TRUE(sample.has_value());
    // Sent at 0 s and received 2 s later by this clock, at 1000 s; the
    // server held the request from .5 s past one second to the third.
    sample->received.wallUs = 1000000000;
    sample->received.frequency = 1000000;
    sample->received.counter = 2000000;
    sample->sentCounter = 0;
    sample->received.now = 1000;
    std::int64_t offset = style.serviceOffset(*sample);
    EXPECT_EQ(offset, offsetFromTimestamps(*sample));
    EXPECT_EQ(style.clockCorrection(*sample).correction, clockCorrectionFromOffset(*sample, offset).correction);
    EXPECT_NE(style.clockCorrection(*sample).serverSeconds, clockCorrectionFromTransmit(*sample).serverSeconds)
        << "not the transmit timestamp plus half the round trip";
}

TEST(NtsChoice, ThePortTextNtsInAnyCaseChoosesIt) {
    for (const char* nts : {"nts", "NTS", "nTs"}) EXPECT_EQ(&chooseRequestStyle(nts), &ntsStyle()) << nts;
    for (const char* other : {"ntsx", " nts", "nt", "4460"}) EXPECT_NE(&chooseRequestStyle(other), &ntsStyle());
    EXPECT_GE(largestAnswerOfAnyStyle(), ntsStyle().largestAnswer());
}
