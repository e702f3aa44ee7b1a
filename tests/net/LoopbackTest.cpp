// Requests and the receiving thread through real sockets on 127.0.0.1,
// against a small server of the test's own. Runs isolated.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ClockRecorder.h"
#include "net/NetTestSupport.h"
#include "net/Receive.h"
#include "net/Reply.h"
#include "net/Request.h"
#include "net/RequestStyle.h"
#include "net/Resolve.h"
#include "net/Wire.h"
#include "platform/WinsockErrors.h"

namespace {

// A UDP socket on an ephemeral port that answers as the test says.
struct Peer {
    CSocket socket{kSockDgram, 0, kAfInet};
    std::uint16_t port = 0;

    Peer() {
        socket.init();
        socket.bindAny();
        port = socket.localPort();
    }
    std::string text() const { return "127.0.0.1:" + std::to_string(port); }
    Bytes receive(CInetAddr& from) {
        std::uint8_t buffer[512];
        long received = socket.receiveFrom(buffer, static_cast<int>(sizeof buffer), 0, from);
        return Bytes(buffer, buffer + received);
    }
    void send(const Bytes& data, std::uint16_t toPort) {
        CInetAddr to;
        to.family = kAfInet;
        to.address[0] = 127;
        to.address[3] = 1;
        to.port = toPort;
        socket.sendTo(data.data(), static_cast<int>(data.size()), 0, to);
    }
};

std::atomic<int> endedWith{-1};
void recordEnd(int exitCode) { endedWith = exitCode; }

class Loopback : public ::testing::Test {
protected:
    ClockRecorder clock;
    AppState state;
    CSocket client{kSockDgram, 0, kAfInet};
    Peer server;
    ReplyLog replies;
    std::unique_ptr<ReceiveThread> receiver;
    ProcessEndFn previousEnd = nullptr;

    void SetUp() override {
        client.init();
        client.bindAny();
        endedWith = -1;
        previousEnd = replaceProcessEnd(recordEnd);
        state.timeServer.set(server.text());
    }
    void TearDown() override {
        if (receiver) receiver->stop();
        replaceProcessEnd(previousEnd);
    }
    void startReceiving() {
        receiver = std::make_unique<ReceiveThread>(state, client, [this] { replies.note(); });
        receiver->start();
    }
    // Sends one request in the style of portText; returns what the server got.
    Bytes request(const char* portText, CInetAddr& from) {
        state.port.set(portText);
        requestTime(state, client);
        return server.receive(from);
    }
};

}  // namespace

TEST_F(Loopback, TimeStyleSendsAnEmptyDatagramAndRecordsIt) {
    state.port.set("37");
    state.correction = 90;
    state.shownCorrection = 90;
    std::uint32_t before = currentSeconds();
    requestTime(state, client);  // the server text's port wins over "37"
    std::uint32_t after = currentSeconds();
    EXPECT_EQ(state.correction.load(), 90) << "a request changes nothing shown";
    EXPECT_EQ(state.shownCorrection.load(), 90);
    CInetAddr from;
    EXPECT_TRUE(server.receive(from).empty());
    EXPECT_EQ(from.port, client.localPort());
    RequestRecord sent = state.lastRequest.get();
    EXPECT_TRUE(sent.sent);
    EXPECT_EQ(sent.style, &rfc868Style());
    EXPECT_EQ(sent.outcome, RequestOutcome::Sent);
    EXPECT_EQ(sent.port, server.port);
    EXPECT_EQ(sent.address[0], 127);
    EXPECT_EQ(sent.address[3], 1);
    EXPECT_GE(sent.sentSeconds, before);
    EXPECT_LE(sent.sentSeconds, after);
}

TEST_F(Loopback, NtpStyleSendsTheClientPacketWithANewNonceEachTime) {
    std::vector<std::uint64_t> nonces;
    for (const char* portText : {"ntp", "NTP", "123", "0123"}) {
        CInetAddr from;
        Bytes got = request(portText, from);
        ASSERT_EQ(got.size(), 48u) << portText;
        EXPECT_EQ(got[0], 0x0B);
        EXPECT_EQ(std::count(got.begin(), got.begin() + 40, 0), 39) << portText;
        RequestRecord sent = state.lastRequest.get();
        EXPECT_EQ(sent.style, &ntpStyle());
        EXPECT_EQ(wire::readBigEndian64(got.data(), 40), sent.nonce) << "the transmit timestamp is the nonce";
        nonces.push_back(sent.nonce);
    }
    std::sort(nonces.begin(), nonces.end());
    EXPECT_EQ(std::unique(nonces.begin(), nonces.end()), nonces.end()) << "a new nonce for every request";
    EXPECT_EQ(std::count(nonces.begin(), nonces.end(), 0u), 0);
}

TEST_F(Loopback, FailedRequestsAreDroppedSilently) {
    state.correction = 7;
    state.timeServer.set("");
    requestTime(state, client);
    EXPECT_EQ(state.correction.load(), 7);
    EXPECT_FALSE(state.lastRequest.get().sent);

    const std::string tooLong = "127.0.0.1:" + std::string(120, '1');
    struct Case {
        std::string server;
        int error;  // 0: whatever the resolver said, not nothing
        std::string subject;
    };
    // Here the resolver cannot be reached at all: "try again" (11002).
    const Case cases[] = {{"no-such-host.invalid", 0, "no-such-host.invalid"},
                          {"no-such-host.invalid:123", 0, "no-such-host.invalid"},
                          {tooLong, wsa::kNameTooLong, tooLong}};
    for (const Case& unusable : cases) {
        state.timeServer.set(unusable.server);
        EXPECT_NO_THROW(requestTime(state, client));
        EXPECT_EQ(state.correction.load(), 7);
        RequestRecord begun = state.lastRequest.get();
        EXPECT_EQ(begun.server, unusable.server) << "the request began: earlier answers are no longer taken";
        EXPECT_FALSE(begun.sent) << "nothing was sent";
        EXPECT_EQ(begun.outcome, RequestOutcome::NameNotFound) << unusable.server;
        if (unusable.error != 0)
            EXPECT_EQ(begun.error, unusable.error) << unusable.server;
        else
            EXPECT_TRUE(begun.error == wsa::kHostNotFound || begun.error == wsa::kTryAgain) << begun.error;
        EXPECT_EQ(begun.subject, unusable.subject);
    }

    CSocket unopened(kSockDgram, 0, kAfInet);  // the send fails
    state.timeServer.set(server.text());
    EXPECT_NO_THROW(requestTime(state, unopened));
    RequestRecord failed = state.lastRequest.get();
    EXPECT_EQ(failed.port, server.port);  // stamped before the send
    EXPECT_EQ(failed.outcome, RequestOutcome::SendFailed);
    EXPECT_NE(failed.error, 0);
}

TEST_F(Loopback, StartRequestSendsFromAThreadOfItsOwn) {
    // The detached thread may outlive this test: give it objects that live on.
    static AppState shared;
    static CSocket sharedSocket(kSockDgram, 0, kAfInet);
    sharedSocket.init();
    shared.timeServer.set(server.text());
    shared.port.set("ntp");
    startRequest(shared, sharedSocket);
    CInetAddr from;
    EXPECT_EQ(server.receive(from).size(), 48u);
    EXPECT_EQ(from.port, sharedSocket.localPort());
}

TEST_F(Loopback, TimeReplySetsTheCorrection) {
    startReceiving();
    CInetAddr from;
    request("37", from);
    std::uint32_t serverTime = currentSeconds() + 100;
    server.send(timeReply(serverTime), from.port);
    ASSERT_TRUE(replies.waitFor(1));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), serverTime);
    EXPECT_NEAR(state.correction.load(), 100, 1);
    EXPECT_NEAR(static_cast<double>(state.nextPollTime.load()), currentSeconds() + 3600.0, 2);
    EXPECT_TRUE(clock.calls().empty());
}

TEST_F(Loopback, NtpReplySetsTheCorrectionAndTheClock) {
    state.setSystemClock = 1;
    startReceiving();
    CInetAddr from;
    request("ntp", from);
    server.send(echoing(ntpReply(currentSeconds() - 3600, 0x80000000u), state.lastRequest.get().nonce), from.port);
    ASSERT_TRUE(replies.waitFor(1));
    EXPECT_NEAR(state.correction.load(), -3600, 1);
    auto calls = clock.calls();
    ASSERT_EQ(calls.size(), 1u);
    platform::UtcTime expected = utcFromSeconds(static_cast<std::uint32_t>(state.lastResponseTime.load()), 0);
    EXPECT_EQ(calls[0].year, expected.year);
    EXPECT_EQ(calls[0].day, expected.day);
    EXPECT_EQ(calls[0].second, expected.second);
    EXPECT_GE(calls[0].milliseconds, 0);
    EXPECT_LE(calls[0].milliseconds, 999);
}

TEST_F(Loopback, OnlyTheFirstAnswerToTheLatestRequestFromItsServerIsTaken) {
    startReceiving();
    Peer stray;
    stray.send(timeReply(currentSeconds() + 5000), client.localPort());  // before any request
    CInetAddr from;
    request("37", from);
    stray.send(timeReply(currentSeconds() + 5000), from.port);  // same address, other port
    server.send(timeReply(currentSeconds() + 100), from.port);
    ASSERT_TRUE(replies.waitFor(1));
    server.send(timeReply(currentSeconds() + 50000), from.port);  // a second answer to the same request
    // The next request goes to another server: an RFC 868 request carries
    // nothing to tell a late duplicate of the first server's from its own.
    Peer next;
    state.timeServer.set(next.text());
    requestTime(state, client);
    next.receive(from);
    next.send(timeReply(currentSeconds() + 200), from.port);
    ASSERT_TRUE(replies.waitFor(2));
    EXPECT_EQ(replies.count(), 2);
    EXPECT_NEAR(state.correction.load(), 200, 1);
}

TEST_F(Loopback, OversizedShortForgedAndMalformedDatagramsChangeNothing) {
    startReceiving();
    CInetAddr from;
    request("ntp", from);
    const std::uint64_t nonce = state.lastRequest.get().nonce;
    const std::uint32_t bad = currentSeconds() + 5000;
    const Bytes ignored[] = {
        echoing(ntpReply(bad, 0, 300), nonce),  // oversized: dropped whole, not cut to 256
        echoing(ntpReply(bad, 0, 257), nonce),
        Bytes{},
        Bytes{1, 2, 3},
        timeReply(bad),
        Bytes(5, 0xFF),
        echoing(ntpReply(bad, 0, 47), nonce),
        ntpReply(bad),                                // no origin
        echoing(ntpReply(bad), nonce + 1),            // a guess
        echoing(ntpReply(bad, 0, 48, 0x23), nonce),   // a client packet
        echoing(ntpReply(bad, 0, 48, 0xE4), nonce),   // not synchronized
        echoing(ntpReply(bad, 0, 48, 0x24, 16), nonce),
        kiss("DENY", nonce + 1),                      // a forged kiss
        echoing(ntpReply(0 - wire::kSeconds1900To1970, 0), nonce),  // zero transmit timestamp
    };
    for (const Bytes& datagram : ignored) server.send(datagram, from.port);
    server.send(echoing(ntpReply(currentSeconds() + 100, 0, 256), nonce), from.port);  // the longest that fits
    ASSERT_TRUE(replies.waitFor(1));
    EXPECT_NEAR(state.correction.load(), 100, 1);
    EXPECT_EQ(state.refusedServer.get(), "");
    EXPECT_EQ(replies.count(), 1);
    EXPECT_EQ(endedWith.load(), -1);
}

TEST_F(Loopback, APortWhereNothingListensDoesNotEndTheLoop) {
    startReceiving();
    std::uint16_t deadPort = 0;
    {
        Peer gone;
        deadPort = gone.port;
    }
    state.timeServer.set("127.0.0.1:" + std::to_string(deadPort));
    state.port.set("37");
    requestTime(state, client);
    state.timeServer.set(server.text());
    CInetAddr from;
    request("37", from);
    server.send(timeReply(currentSeconds() + 100), from.port);
    ASSERT_TRUE(replies.waitFor(1));
    EXPECT_NEAR(state.correction.load(), 100, 1);
    EXPECT_EQ(endedWith.load(), -1);
}

TEST_F(Loopback, StopEndsTheThreadButAnUnusableSocketEndsTheProcess) {
    startReceiving();
    receiver->stop();  // returns only once the thread has ended
    EXPECT_EQ(client.handle(), CSocket::kNoSocket);
    EXPECT_EQ(endedWith.load(), -1);

    CSocket unopened(kSockDgram, 0, kAfInet);
    ReceiveLoop loop(state, unopened);
    receiveLoop(loop);
    EXPECT_EQ(endedWith.load(), kReceiveFailureExitCode);
    // WSAEBADF from BSD sockets, WSAENOTSOCK from Winsock.
    EXPECT_TRUE(loop.failureCode() == wsa::kBadHandle || loop.failureCode() == wsa::kNotASocket) << loop.failureCode();
}

TEST_F(Loopback, SettingsReadersRunBesideTheReceivingThread) {
    state.setSystemClock = 1;
    startReceiving();
    std::atomic<bool> done{false};
    std::thread window([&] {
        // What the window and the settings dialog do while replies arrive.
        for (std::uint32_t round = 0; !done; ++round) {
            state.pollPeriod = round % 120;
            state.timeServer.set(server.text());
            state.port.set(round % 2 == 0 ? "37" : "time");
            state.correction.load();
            state.lastResponseTime.load();
            state.nextPollTime.load();
            state.lastRequest.get();
        }
    });
    constexpr int kReplies = 100;
    const std::uint32_t serverTime = currentSeconds() + 100;
    bool handled = true;
    for (int i = 0; i < kReplies && handled; ++i) {
        CInetAddr from;
        request("37", from);
        server.send(timeReply(serverTime), from.port);
        handled = replies.waitFor(i + 1);
    }
    done = true;
    window.join();
    ASSERT_TRUE(handled) << replies.count();
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), serverTime);
    EXPECT_EQ(clock.calls().size(), static_cast<std::size_t>(kReplies));
}

TEST_F(Loopback, RequestsRacingTheCloseNeverReachAnotherSocket) {
    state.port.set("37");
    constexpr int kSenders = 4;
    constexpr int kRequestsEach = 40;
    std::atomic<int> started{0};
    std::vector<std::thread> senders;
    for (int i = 0; i < kSenders; ++i) {
        senders.emplace_back([&] {
            for (int n = 0; n < kRequestsEach; ++n) {
                requestTime(state, client);
                ++started;
            }
        });
    }
    while (started < kSenders) std::this_thread::yield();
    client.close();
    Peer reused;  // likely given the closed socket's number
    for (std::thread& sender : senders) sender.join();
    Peer marker;
    marker.send(Bytes{9}, server.port);
    int fromReused = 0;
    for (;;) {
        CInetAddr sender;
        Bytes got = server.receive(sender);
        if (sender.port == marker.port) break;
        if (sender.port == reused.port) ++fromReused;
    }
    EXPECT_EQ(fromReused, 0);
}

TEST_F(Loopback, AnAttachedSocketNeverClosesTheHandle) {
    Peer owner;
    {
        CSocket attached(kSockDgram, 0, kAfInet, owner.socket.handle());
        EXPECT_EQ(attached.init(), owner.socket.handle());
        EXPECT_EQ(attached.close(), 0);
        EXPECT_EQ(attached.handle(), CSocket::kNoSocket);
        CSocket kept(kSockDgram, 0, kAfInet, owner.socket.handle());
    }  // nor do their destructors
    server.send(Bytes{1, 2, 3}, owner.port);
    CInetAddr from;
    EXPECT_EQ(owner.receive(from), (Bytes{1, 2, 3}));
    EXPECT_EQ(from.port, server.port);
}

TEST(ReceiveLoopDeathTest, ExitsWithoutReturning) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    AppState state;
    CSocket unopened(kSockDgram, 0, kAfInet);
    ReceiveLoop loop(state, unopened);
#ifdef _WIN32
    const int expected = kReceiveFailureExitCode;
#else
    const int expected = kReceiveFailureExitCode & 0xFF;  // POSIX keeps the low 8 bits of a status
#endif
    EXPECT_EXIT(receiveLoop(loop), ::testing::ExitedWithCode(expected), "");
}
