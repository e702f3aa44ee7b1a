// Server texts into destinations. Host names are looked up, so this runs
// isolated: names come from /etc/hosts and no query leaves the machine.
#include <gtest/gtest.h>

#include <string>

#include "errors/Exceptions.h"
#include "net/NetTestSupport.h"
#include "net/Resolve.h"
#include "net/Socket.h"
#include "platform/WinsockErrors.h"

namespace {

struct Expected {
    const char* text;
    std::uint8_t a, b, c, d;
    std::uint16_t port;
};

CInetAddr resolved(const std::string& text, const char* defaultPort = "37") {
    CInetAddr destination;
    destination.family = 99;
    destination.zero[3] = 1;
    destination.resolve(text.c_str(), defaultPort, kAfInet);
    return destination;
}

void expectDestination(const CInetAddr& got, const Expected& want) {
    SCOPED_TRACE(want.text);
    EXPECT_EQ(got.address[0], want.a);
    EXPECT_EQ(got.address[1], want.b);
    EXPECT_EQ(got.address[2], want.c);
    EXPECT_EQ(got.address[3], want.d);
    EXPECT_EQ(got.port, want.port);
    EXPECT_EQ(got.family, kAfInet);
    for (std::uint8_t z : got.zero) EXPECT_EQ(z, 0);
}

}  // namespace

TEST(Resolve, DottedFormAsScanned) {
    const Expected cases[] = {
        {"10.0.0.1", 10, 0, 0, 1, 37},
        {"10.5", 10, 5, 0, 0, 37},
        {"10.300", 10, 44, 1, 0, 37},       // 300 spills its high byte into the next
        {"10.0.0.256", 10, 0, 0, 0, 37},    // spill past the fourth byte is dropped
        {"192 168 1 2", 192, 0, 0, 0, 37},  // blanks alone do not separate
        {"192-168-1-2", 192, 168, 1, 2, 37},
        {"10.0.0.1:ntp5", 10, 0, 0, 1, 5},  // ":ntp" is all separator
        {"192.168.1.2:123", 192, 168, 1, 2, 123},
        {"192.168.1.2 time", 192, 168, 1, 2, 37},  // a service word is separator too
        {"1st-server", 1, 0, 0, 0, 37},            // no name lookup
        {"1.2.3.4:70000", 1, 2, 3, 4, 4464},       // kept to 16 bits
        {"1.2.3.4:99999999999", 1, 2, 3, 4, 65535},
        // A number above INT_MAX reads as INT_MAX, not as its low 32 bits.
        {"2147483648", 255, 255, 255, 127, 37},
        {"4294967297", 255, 255, 255, 127, 37},
        {"99999999999999999999999.2", 255, 2, 0, 0, 37},
        {"10 .0. 0.1", 10, 0, 0, 1, 37},       // blanks before or in a separator
        {"1.2.3.4 \t5", 1, 2, 3, 4, 37},       // blanks alone end it after the fourth too
        {"1.2.3.4:5x 6", 1, 2, 3, 4, 5},       // the port word ends at a blank
    };
    for (const Expected& c : cases) expectDestination(resolved(c.text), c);
    EXPECT_NO_THROW(resolved("4294967296.99999999999999"));  // out-of-range numbers are no failure
}

TEST(Resolve, HostNameSplitsAtTheLastColonElseTheLastBlank) {
    const Expected cases[] = {
        {"localhost", 127, 0, 0, 1, 37},
        {"localhost:", 127, 0, 0, 1, 0},  // the empty service name is no service
        {"localhost:37", 127, 0, 0, 1, 37},
        {"localhost 37", 127, 0, 0, 1, 37},
        {"localhost:1 37", 127, 0, 0, 1, 1},  // a colon wins over a later blank
        {"localhost:daytime", 127, 0, 0, 1, 13},
    };
    for (const Expected& c : cases) expectDestination(resolved(c.text), c);
    // Everything before the last separator is the name.
    EXPECT_THROW(resolved("localhost:36:37"), CSocketException);
    EXPECT_THROW(resolved("localhost 36 37"), CSocketException);
}

TEST(Resolve, PortsFromTheServiceDatabaseOverTcp) {
    EXPECT_EQ(lookupPort("time", "tcp"), 37);
    EXPECT_EQ(lookupPort("no-such-service", "tcp"), 0);
    EXPECT_EQ(lookupPort("ntp", "udp"), 123);
    EXPECT_EQ(lookupPort("0123x", "tcp"), 123);
    // The default port text goes through the same lookup in both forms.
    EXPECT_EQ(resolved("localhost", "time").port, 37);
    EXPECT_EQ(resolved("10.0.0.1", "time").port, 37);
}

TEST(Resolve, AServiceListedOnlyForUdpStillGivesItsPort) {
    // The database lists "ntp" for UDP alone; asked over TCP it would give
    // port 0 and every request would go nowhere.
    EXPECT_EQ(lookupPort("ntp", "tcp"), 123);
    EXPECT_EQ(resolved("localhost", "ntp").port, 123);
    EXPECT_EQ(resolved("localhost:", "ntp").port, 0) << "the empty service name";
}

TEST(Resolve, UnknownHostThrowsGethostbynameFailed) {
    try {
        resolved("no-such-host.invalid");
        FAIL() << "resolved an unknown host";
    } catch (CSocketException e) {
        std::string expected =
            e.code == wsa::kTryAgain ? "Temporary Error, Try Again" : "Could not locate this computer name";
        EXPECT_TRUE(e.code == wsa::kHostNotFound || e.code == wsa::kTryAgain) << e.code;
        EXPECT_EQ(std::string(e.message), "Error: " + std::to_string(e.code) + " gethostbyname failed\n" + expected +
                                              "\n");
    }
}

TEST(Resolve, TextsOver127CharactersAreRefused) {
    std::string dotted = "1.2.3.4:" + std::string(117, '0') + "37";  // the port word fills the work buffer
    ASSERT_EQ(dotted.size(), 127u);
    expectDestination(resolved(dotted), {"127 dotted", 1, 2, 3, 4, 37});
    std::string host = "localhost:" + std::string(115, '0') + "13";
    ASSERT_EQ(host.size(), 127u);
    expectDestination(resolved(host), {"127 host", 127, 0, 0, 1, 13});
    for (const std::string& tooLong : {dotted + "7", host + "3"}) {
        try {
            resolved(tooLong);
            FAIL() << tooLong;
        } catch (CSocketException e) {
            EXPECT_EQ(e.code, wsa::kNameTooLong);
            EXPECT_STREQ(e.message, "Error: 10063 server text longer than 127 characters\nUnknown error\n");
        }
    }
}
