// The key exchange against real servers on loopback: chronyd's NTS-KE,
// and the scripted servers of tests/harness/nts-ke-server.py for what
// chronyd never does, all named by tests/harness/with-peers. The keys
// are proven by one authenticated NTS request that chronyd answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "net/NetTestSupport.h"
#include "net/Resolve.h"
#include "net/nts/KeClient.h"
#include "net/nts/NtsAuthenticator.h"
#include "platform/WinsockErrors.h"

using nts::KeOutcome;

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#define REQUIRE_PEERS()                                                                        \
    if (variable("MARIVEL_NTS_PEER").empty()) GTEST_SKIP() << "run through tests/harness/with-peers"

nts::KeOptions trusting(const char* caVariable) {
    nts::KeOptions options;
    options.trust = nts::TrustAnchors::File;
    options.caFile = variable(caVariable);
    return options;
}

nts::KeResult exchangeWith(const std::string& server, const nts::KeOptions& options = trusting("MARIVEL_NTS_CA")) {
    auto start = std::chrono::steady_clock::now();
    nts::KeResult result = nts::exchangeKeys(server, options);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("key exchange with %s: outcome %d, error %d, %lld ms\n", server.c_str(),
                static_cast<int>(result.outcome), result.error, static_cast<long long>(took.count()));
    return result;
}

bool isZero(const nts::Key& key) {
    return std::all_of(key.begin(), key.end(), [](std::uint8_t b) { return b == 0; });
}

// One NTS request with the exchange's first cookie and its answer, over
// UDP; the answer as readAnswer finds it.
nts::NtsAnswer askWithKeys(const nts::KeResult& keys) {
    const std::uint64_t nonce = 0x0123456789ABCDEFull;
    nts::UniqueId uniqueId{};
    nts::AeadNonce aeadNonce{};
    for (std::size_t i = 0; i < uniqueId.size(); ++i) uniqueId[i] = static_cast<std::uint8_t>(0x40 + i);
    for (std::size_t i = 0; i < aeadNonce.size(); ++i) aeadNonce[i] = static_cast<std::uint8_t>(0x90 + i);
    Bytes request = nts::buildRequest(nonce, uniqueId, keys.cookies.front(), 1, aeadNonce, keys.c2s);

    CSocket socket(kSockDgram, 0, kAfInet);
    socket.init();
    socket.bindAny();
    CInetAddr server;
    server.family = kAfInet;
    server.port = keys.port;
    std::copy(std::begin(keys.address), std::end(keys.address), server.address);
    socket.sendTo(request.data(), static_cast<int>(request.size()), 0, server);
    Bytes answer(nts::kAnswerBufferSize);
    CInetAddr from;
    long received = socket.receiveFrom(answer.data(), static_cast<int>(answer.size()), 0, from);
    return nts::readAnswer(answer.data(), static_cast<std::size_t>(received), nonce, uniqueId, keys.s2c);
}

}  // namespace

TEST(NtsKeyExchange, ChronydGivesCookiesKeysAndWhereToAsk) {
    REQUIRE_PEERS();
    nts::KeResult keys = exchangeWith(variable("MARIVEL_NTS_PEER"));
    ASSERT_EQ(keys.outcome, KeOutcome::Done) << keys.error;
    EXPECT_EQ(keys.subject, variable("MARIVEL_NTS_PEER")) << "the name the certificate was verified for";
    EXPECT_EQ(keys.cookies.size(), 8u);
    EXPECT_NE(keys.c2s, keys.s2c);
    EXPECT_FALSE(isZero(keys.c2s));
    EXPECT_FALSE(isZero(keys.s2c));
    // chronyd serves NTP on another port than 123, so it names its own in
    // a Port record, and no Server record: the address connected to.
    const std::string ntpPeer = variable("MARIVEL_NTP_PEER");
    char where[32];
    std::snprintf(where, sizeof where, "%u.%u.%u.%u:%u", keys.address[0], keys.address[1], keys.address[2],
                  keys.address[3], keys.port);
    EXPECT_EQ(where, ntpPeer);

    // The exported keys are the ones chronyd derived: it opens the request
    // and seals an answer that opens with ours.
    nts::NtsAnswer answer = askWithKeys(keys);
    ASSERT_EQ(answer.kind, nts::AnswerKind::Authenticated);
    EXPECT_EQ(answer.cookies.size(), 2u);  // the cookie spent, and one for the placeholder
    const int shift = leadingNumber(variable("MARIVEL_PEER_SHIFT").c_str());
    auto serverSeconds = static_cast<std::int64_t>(answer.header.transmit >> 32) - wire::kSeconds1900To1970;
    EXPECT_NEAR(static_cast<double>(serverSeconds - static_cast<std::int64_t>(std::time(nullptr))), shift, 2);
}

TEST(NtsKeyExchange, AnAddressIsCheckedAgainstTheCertificatesAddresses) {
    REQUIRE_PEERS();
    // chronyd's certificate names 127.0.0.1 too.
    EXPECT_EQ(exchangeWith("127.0.0.1").outcome, KeOutcome::Done);
    nts::KeResult other = exchangeWith(variable("MARIVEL_NTS_WRONG_ADDRESS_PEER"));
    EXPECT_EQ(other.outcome, KeOutcome::CertificateName);
    EXPECT_EQ(other.subject, "127.0.0.1");
}

TEST(NtsKeyExchange, EachCertificateFaultHasItsOutcome) {
    REQUIRE_PEERS();
    nts::KeResult otherName = exchangeWith(variable("MARIVEL_NTS_WRONG_NAME_PEER"));
    EXPECT_EQ(otherName.outcome, KeOutcome::CertificateName);
    EXPECT_EQ(otherName.subject, "other.marivel.test");
    EXPECT_EQ(exchangeWith(variable("MARIVEL_NTS_PEER"), trusting("MARIVEL_NTS_UNTRUSTED_CA")).outcome,
              KeOutcome::CertificateUntrusted);
    EXPECT_EQ(exchangeWith(variable("MARIVEL_NTS_FUTURE_PEER")).outcome, KeOutcome::CertificateDates);
}

TEST(NtsKeyExchange, WhatTheServerSaidIsKept) {
    REQUIRE_PEERS();
    nts::KeResult error = exchangeWith(variable("MARIVEL_NTS_ERROR_PEER"));
    EXPECT_EQ(error.outcome, KeOutcome::ServerRefused);
    EXPECT_EQ(error.refusal, nts::KeFailure::ServerError);
    EXPECT_EQ(error.refusalCode, nts::kKeErrorBadRequest);
    nts::KeResult noNts = exchangeWith(variable("MARIVEL_NTS_NO_NTS_PEER"));
    EXPECT_EQ(noNts.outcome, KeOutcome::ServerRefused);
    EXPECT_EQ(noNts.refusal, nts::KeFailure::NextProtocolRefused);
    EXPECT_TRUE(noNts.cookies.empty());
    // A TLS server that does not agree to "ntske/1" is not asked at all.
    EXPECT_EQ(exchangeWith(variable("MARIVEL_NTS_NO_ALPN_PEER")).outcome, KeOutcome::Failed);
}

TEST(NtsKeyExchange, NoConnectionNamesItsSocketError) {
    REQUIRE_PEERS();
    nts::KeResult closed = exchangeWith(variable("MARIVEL_NTS_CLOSED_PEER"));
    EXPECT_EQ(closed.outcome, KeOutcome::NoConnection);
    EXPECT_EQ(closed.error, wsa::kConnectionRefused);
    EXPECT_EQ(closed.subject, variable("MARIVEL_NTS_CLOSED_PEER")) << "the port that did not answer is named";
    // Accepted, then never a word: the whole exchange's limit ends it.
    nts::KeOptions shortLimit = trusting("MARIVEL_NTS_CA");
    shortLimit.totalTimeoutMs = 1500;
    nts::KeResult silent = exchangeWith(variable("MARIVEL_NTS_SILENT_PEER"), shortLimit);
    EXPECT_EQ(silent.outcome, KeOutcome::NoConnection);
    EXPECT_EQ(silent.error, wsa::kTimedOut);
    EXPECT_EQ(silent.subject, variable("MARIVEL_NTS_SILENT_PEER"));
}

TEST(NtsKeyExchange, ATextWithoutAHostOrAPortIsNoName) {
    REQUIRE_PEERS();
    for (const char* text : {"nts.marivel.test:0", "nts.marivel.test:65536", "nts.marivel.test:", ":4460",
                             "nts.marivel.test:44x", "no-such-host.marivel.test"}) {
        nts::KeResult result = exchangeWith(text);
        EXPECT_EQ(result.outcome, KeOutcome::NameNotFound) << text;
        EXPECT_NE(result.error, 0) << text;
    }
}
