// The client against real servers on loopback: an NTP server and an RFC 868
// time service, both running with their clocks shifted by a known offset.
// tests/harness/with-peers starts them inside the private namespace and
// names them in MARIVEL_NTP_PEER, MARIVEL_TIME_PEER and MARIVEL_PEER_SHIFT.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "net/NetTestSupport.h"
#include "net/Receive.h"
#include "net/Reply.h"
#include "net/Request.h"
#include "net/Resolve.h"
#include "net/nts/NtsStyle.h"

namespace {

const char* variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Polls the peer until a reply is accepted; a server that has only just
// started may not answer, or answer unsynchronized, at first.
// `style`, when given, instead of the one the port text chooses.
void expectShiftedCorrection(AppState& state, CSocket& socket, const char* peerVariable, const char* portText,
                             RequestStyle* style = nullptr) {
    const char* peer = variable(peerVariable);
    const char* shiftText = variable("MARIVEL_PEER_SHIFT");
    if (peer == nullptr || shiftText == nullptr) GTEST_SKIP() << "run through tests/harness/with-peers";
    const int shift = leadingNumber(shiftText);

    socket.init();
    socket.bindAny();
    state.timeServer.set(peer);
    state.port.set(portText);
    ReplyLog replies;
    ReceiveThread receiver(state, socket, [&replies] { replies.note(); });
    receiver.start();
    bool answered = false;
    for (int attempt = 0; attempt < 20 && !answered; ++attempt) {
        if (style != nullptr)
            requestTime(state, socket, *style, portText);
        else
            startRequest(state, socket);
        answered = replies.waitFor(1, std::chrono::seconds(2));
    }
    receiver.stop();
    ASSERT_TRUE(answered) << peer << " never gave a usable reply";
    EXPECT_NEAR(state.correction.load(), shift, 1) << peer;
    auto serverAhead = static_cast<std::int32_t>(static_cast<std::uint32_t>(state.lastResponseTime.load()) -
                                                 currentSeconds());
    EXPECT_NEAR(serverAhead, shift, 2) << peer;
}

}  // namespace

// Request threads are detached: what they use must live to the end.
TEST(Peers, NtpServerGivesItsShift) {
    static AppState state;
    static CSocket socket(kSockDgram, 0, kAfInet);
    expectShiftedCorrection(state, socket, "MARIVEL_NTP_PEER", "ntp");
}

TEST(Peers, TimeServiceGivesItsShift) {
    static AppState state;
    static CSocket socket(kSockDgram, 0, kAfInet);
    expectShiftedCorrection(state, socket, "MARIVEL_TIME_PEER", "37");
}

// NTS with the harness's CA alone as the trust anchor: the key exchange,
// the sealed request and an authenticated answer with the shift, whose
// cookie goes back into the pool.
TEST(Peers, NtsServerGivesItsShiftAuthenticated) {
    const char* ca = variable("MARIVEL_NTS_CA");
    if (ca == nullptr) GTEST_SKIP() << "run through tests/harness/with-peers";
    nts::KeOptions trustTheTestCa;
    trustTheTestCa.trust = nts::TrustAnchors::File;
    trustTheTestCa.caFile = ca;
    static NtsStyle style([trustTheTestCa](const std::string& server) {
        return nts::exchangeKeys(server, trustTheTestCa);
    });
    static AppState state;
    static CSocket socket(kSockDgram, 0, kAfInet);
    expectShiftedCorrection(state, socket, "MARIVEL_NTS_PEER", "nts", &style);
    EXPECT_EQ(state.authenticatedBy.get(), variable("MARIVEL_NTS_PEER"));
    EXPECT_EQ(style.cookiesLeft(), 8u) << "the cookie spent came back with the answer";
}
