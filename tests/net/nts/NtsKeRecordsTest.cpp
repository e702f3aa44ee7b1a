// The key exchange's records both ways: the request's exact bytes, and what
// each kind of server response comes to, whole or in pieces.
#include <gtest/gtest.h>

#include <string>

#include "net/nts/NtsTestSupport.h"
#include "net/nts/KeRecords.h"

using nts::KeFailure;
using ntstest::join;
using ntstest::record;
using ntstest::word;

namespace {

constexpr std::uint16_t kCritical = nts::kKeCriticalBit;
const Bytes kEnd = record(kCritical | 0);
const Bytes kNtpv4 = record(kCritical | 1, word(0));
const Bytes kSiv = record(4, word(15));

Bytes cookie(std::size_t size, std::uint8_t first) { return record(5, ntstest::filled(size, first)); }

nts::KeResponse parse(const Bytes& stream) {
    nts::KeResponseParser parser;
    parser.feed(stream.data(), stream.size());
    return parser.take();
}

KeFailure failureOf(const Bytes& stream) { return parse(stream).failure; }

}  // namespace

TEST(KeRequest, IsNtpv4AndAesSivCmac256ThenEndAllCritical) {
    const Bytes expected = {0x80, 0x01, 0x00, 0x02, 0x00, 0x00,   // Next Protocol: NTPv4
                            0x80, 0x04, 0x00, 0x02, 0x00, 0x0F,   // AEAD: AES-SIV-CMAC-256
                            0x80, 0x00, 0x00, 0x00};              // End of Message
    EXPECT_EQ(nts::buildKeRequest(), expected);
}

TEST(KeResponse, CookiesServerAndPortOfAGoodResponse) {
    Bytes stream = join({kNtpv4, kSiv, cookie(100, 1), record(6, Bytes{'n', 't', 's', '.', 'e', 'x', '.', 'o', 'r', 'g'}),
                         record(7, word(4123)), cookie(104, 2), kEnd});
    nts::KeResponse response = parse(stream);
    ASSERT_TRUE(response.succeeded());
    ASSERT_EQ(response.cookies.size(), 2u);
    EXPECT_EQ(response.cookies[0], ntstest::filled(100, 1));
    EXPECT_EQ(response.cookies[1], ntstest::filled(104, 2));
    EXPECT_EQ(response.server, "nts.ex.org");
    EXPECT_EQ(response.port, 4123);

    nts::KeResponse plain = parse(join({kSiv, cookie(100, 1), kNtpv4, kEnd}));
    ASSERT_TRUE(plain.succeeded()) << "records come in any order";
    EXPECT_EQ(plain.server, "");
    EXPECT_EQ(plain.port, 0);
}

TEST(KeResponse, SplitAtEveryOffsetOrByteByByteGivesTheSameOutcome) {
    const Bytes stream = join({kNtpv4, kSiv, cookie(100, 1), record(7, word(123)), cookie(100, 9), kEnd});
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        nts::KeResponseParser parser;
        bool first = parser.feed(stream.data(), split);
        EXPECT_EQ(first, split == stream.size()) << "done only once End of Message came, split " << split;
        EXPECT_TRUE(parser.feed(stream.data() + split, stream.size() - split)) << split;
        nts::KeResponse response = parser.take();
        ASSERT_TRUE(response.succeeded()) << split;
        ASSERT_EQ(response.cookies.size(), 2u) << split;
        EXPECT_EQ(response.cookies[1], ntstest::filled(100, 9)) << split;
        EXPECT_EQ(response.port, 123) << split;
    }
    nts::KeResponseParser bytewise;
    for (std::size_t i = 0; i < stream.size(); ++i) EXPECT_EQ(bytewise.feed(&stream[i], 1), i + 1 == stream.size());
    const Bytes error = record(kCritical | 2, word(2));
    EXPECT_TRUE(bytewise.feed(error.data(), error.size())) << "nothing after the outcome counts";
    EXPECT_TRUE(bytewise.take().succeeded());
    EXPECT_EQ(bytewise.take().failure, KeFailure::Incomplete) << "handed over once";
}

TEST(KeResponse, TheCriticalBitDecidesOnlyForUnknownRecords) {
    nts::KeResponse unknown = parse(join({kNtpv4, kSiv, record(kCritical | 0x4001, Bytes(3, 7)), cookie(100, 1), kEnd}));
    EXPECT_EQ(unknown.failure, KeFailure::UnknownCriticalRecord);
    EXPECT_EQ(unknown.code, 0x4001);
    EXPECT_TRUE(unknown.cookies.empty());
    EXPECT_TRUE(parse(join({kNtpv4, record(0x4001, Bytes(3, 7)), kSiv, cookie(100, 1), kEnd})).succeeded())
        << "an unknown record without the bit is passed over";
    // Known records without the bits servers set, or with one they do not.
    EXPECT_TRUE(parse(join({record(1, word(0)), record(kCritical | 4, word(15)), record(kCritical | 5, Bytes(100, 1)),
                            record(0)}))
                    .succeeded());
}

TEST(KeResponse, ErrorsAndWarningsEndItWithTheirCodes) {
    nts::KeResponse error = parse(join({record(kCritical | 2, word(nts::kKeErrorBadRequest)), kEnd}));
    EXPECT_EQ(error.failure, KeFailure::ServerError);
    EXPECT_EQ(error.code, 1);
    nts::KeResponse internal = parse(join({kNtpv4, kSiv, cookie(100, 1), record(kCritical | 2, word(2)), kEnd}));
    EXPECT_EQ(internal.failure, KeFailure::ServerError) << "an error among good records still ends it";
    EXPECT_EQ(internal.code, 2);
    EXPECT_TRUE(internal.cookies.empty());
    nts::KeResponse warning = parse(join({kNtpv4, kSiv, cookie(100, 1), record(kCritical | 3, word(0x8001)), kEnd}));
    EXPECT_EQ(warning.failure, KeFailure::ServerWarning);
    EXPECT_EQ(warning.code, 0x8001);
    EXPECT_TRUE(warning.cookies.empty());
    EXPECT_EQ(failureOf(join({record(kCritical | 2, Bytes{0}), kEnd})), KeFailure::Malformed);
}

TEST(KeResponse, NegotiationAnswersThatRefuseOrAreMissing) {
    const Bytes cookies = cookie(100, 1);
    struct Case {
        Bytes stream;
        KeFailure failure;
        const char* what;
    };
    const Case cases[] = {
        {join({record(kCritical | 1), kSiv, cookies, kEnd}), KeFailure::NextProtocolRefused, "empty Next Protocol"},
        {join({record(kCritical | 1, word(1)), kSiv, cookies, kEnd}), KeFailure::NextProtocolRefused, "no NTPv4"},
        {join({record(kCritical | 1, Bytes{0, 0, 0}), kSiv, cookies, kEnd}), KeFailure::Malformed, "odd list"},
        {join({kNtpv4, record(4), cookies, kEnd}), KeFailure::AeadRefused, "empty AEAD"},
        {join({kNtpv4, record(4, word(1)), cookies, kEnd}), KeFailure::AeadRefused, "AES-128-GCM"},
        {join({kNtpv4, record(4, join({word(15), word(1)})), cookies, kEnd}), KeFailure::Malformed, "two AEADs"},
        {join({kSiv, cookies, kEnd}), KeFailure::MissingNextProtocol, "no Next Protocol"},
        {join({kNtpv4, cookies, kEnd}), KeFailure::MissingAead, "no AEAD"},
        {join({kNtpv4, kSiv, kEnd}), KeFailure::NoCookie, "no cookie"},
        {join({kNtpv4, kSiv, cookie(10, 1), cookie(258, 1), cookie(101, 1), kEnd}), KeFailure::NoCookie,
         "cookies that cannot go back in a field"},
        {join({kNtpv4, kNtpv4, kSiv, cookies, kEnd}), KeFailure::DuplicateRecord, "two Next Protocols"},
        {join({kNtpv4, kSiv, kSiv, cookies, kEnd}), KeFailure::DuplicateRecord, "two AEADs records"},
        {join({kNtpv4, kSiv, record(7, word(1)), record(7, word(1)), cookies, kEnd}), KeFailure::DuplicateRecord,
         "two Ports"},
        {join({kNtpv4, kSiv, record(7, Bytes{0, 0, 123}), cookies, kEnd}), KeFailure::Malformed, "3-byte port"},
        {join({kNtpv4, kSiv, record(7, word(0)), cookies, kEnd}), KeFailure::Malformed, "port 0"},
        {join({kNtpv4, kSiv, cookies, record(kCritical, Bytes{0})}), KeFailure::Malformed, "End with a body"},
    };
    for (const Case& c : cases) EXPECT_EQ(failureOf(c.stream), c.failure) << c.what;
}

TEST(KeResponse, OnlyHostNamesAndAddressesAsTheServer) {
    auto withServer = [](const std::string& name) {
        return parse(join({kNtpv4, kSiv, cookie(100, 1), record(6, Bytes(name.begin(), name.end())), kEnd}));
    };
    for (const char* good : {"ntp.example.org", "ntp.example.org.", "192.0.2.1", "2001:db8::1", "::ffff:192.0.2.1",
                             "xn--bcher-kva.example", "a-b.c"}) {
        nts::KeResponse response = withServer(good);
        EXPECT_TRUE(response.succeeded()) << good;
        EXPECT_EQ(response.server, good);
    }
    const std::string longLabel(64, 'a');
    const std::string label(63, 'a');
    const std::string longName = label + "." + label + "." + label + "." + label;  // 255 characters
    for (const std::string& bad : {std::string(""), std::string("a..b"), std::string(".a"), std::string("-a.b"),
                                   std::string("a-.b"), std::string("ntp example"), std::string("ntp.example.org:123"),
                                   std::string("fe80::1%eth0"), std::string("a\0b", 3), std::string("ntp_1.example"),
                                   std::string("b\xC3\xBC" "cher.example"), longLabel + ".example", longName}) {
        EXPECT_EQ(withServer(bad).failure, KeFailure::Malformed) << bad;
    }
}

TEST(KeResponse, EightCookiesAreKeptAndTheStreamIsBounded) {
    Bytes nine = join({kNtpv4, kSiv});
    for (std::uint8_t i = 0; i < 9; ++i) nine = join({nine, cookie(100, i)});
    nts::KeResponse response = parse(join({nine, kEnd}));
    ASSERT_TRUE(response.succeeded());
    ASSERT_EQ(response.cookies.size(), nts::kMaxCookies);
    EXPECT_EQ(response.cookies[7], ntstest::filled(100, 7)) << "the first eight, in order";

    // Unfinished, and cut inside a record that claims more than came.
    EXPECT_EQ(failureOf(join({kNtpv4, kSiv, cookie(100, 1)})), KeFailure::Incomplete);
    Bytes cut = join({kNtpv4, kSiv, cookie(100, 1), kEnd});
    cut.resize(cut.size() - 1);
    EXPECT_EQ(failureOf(cut), KeFailure::Incomplete);
    Bytes claims = join({kNtpv4, kSiv, cookie(100, 1), kEnd});
    claims.resize(claims.size() - 90);  // a cookie's length says 100, 14 bytes came
    EXPECT_EQ(failureOf(claims), KeFailure::Incomplete);

    // 64 KB of passed-over records and no End: the parser stops taking.
    nts::KeResponseParser parser;
    const Bytes filler = record(0x4002, Bytes(1020, 0));  // 1024 bytes
    bool done = false;
    for (int i = 0; i < 64 && !done; ++i) done = parser.feed(filler.data(), filler.size());
    EXPECT_TRUE(done);
    EXPECT_EQ(parser.take().failure, KeFailure::TooLong);
    // Exactly at the limit, ending with End of Message, is still whole.
    Bytes full = join({kNtpv4, kSiv, cookie(100, 1)});
    full = join({full, record(0x4002, Bytes(nts::kMaxKeResponseSize - full.size() - 8, 0)), kEnd});
    ASSERT_EQ(full.size(), nts::kMaxKeResponseSize);
    EXPECT_TRUE(parse(full).succeeded());
}
