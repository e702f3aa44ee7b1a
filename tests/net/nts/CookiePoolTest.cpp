// The cookie pool: each cookie used once, the placeholders a request asks
// for, refills from answers, NAKs, running out, and a change of server.
#include <gtest/gtest.h>

#include <thread>

#include "net/nts/NtsTestSupport.h"
#include "net/nts/CookiePool.h"

namespace {

const std::string kServer = "nts.example";

nts::Key key(std::uint8_t first) {
    nts::Key k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = static_cast<std::uint8_t>(first + i);
    return k;
}

std::vector<nts::Cookie> cookies(std::size_t count, std::uint8_t first, std::size_t size = 100) {
    std::vector<nts::Cookie> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(ntstest::filled(size, static_cast<std::uint8_t>(first + i)));
    return out;
}

}  // namespace

TEST(CookiePool, EachCookieGoesOutOnceWithItsExchangesKeys) {
    nts::CookiePool pool;
    EXPECT_TRUE(pool.needsKeyExchange(kServer)) << "nothing yet";
    EXPECT_FALSE(pool.take(kServer));
    pool.refill(kServer, key(1), key(2), cookies(8, 10));
    EXPECT_FALSE(pool.needsKeyExchange(kServer));
    for (std::uint8_t i = 0; i < 8; ++i) {
        std::optional<nts::Ticket> ticket = pool.take(kServer);
        ASSERT_TRUE(ticket) << int{i};
        EXPECT_EQ(ticket->cookie, ntstest::filled(100, static_cast<std::uint8_t>(10 + i))) << "oldest first";
        EXPECT_EQ(ticket->c2s, key(1));
        EXPECT_EQ(ticket->s2c, key(2));
        EXPECT_EQ(ticket->exchange, 1u);
    }
    EXPECT_EQ(pool.cookieCount(), 0u);
    EXPECT_FALSE(pool.take(kServer)) << "run out";
    EXPECT_TRUE(pool.needsKeyExchange(kServer));
    pool.refill(kServer, key(3), key(4), cookies(9, 40));
    EXPECT_EQ(pool.cookieCount(), 8u) << "never more than eight";
    EXPECT_EQ(pool.take(kServer)->exchange, 2u);
}

TEST(CookiePool, PlaceholdersAskForWhatBringsItBackToEight) {
    nts::CookiePool pool;
    pool.refill(kServer, key(1), key(2), cookies(8, 1));
    EXPECT_EQ(pool.take(kServer)->placeholders, 0u) << "7 left: one back makes 8";
    EXPECT_EQ(pool.take(kServer)->placeholders, 1u);
    pool.refill(kServer, key(1), key(2), cookies(2, 1));
    EXPECT_EQ(pool.take(kServer)->placeholders, 6u);
    EXPECT_EQ(pool.take(kServer)->placeholders, 7u) << "none left: eight back";
    pool.refill(kServer, key(1), key(2), cookies(1, 1, 256));
    EXPECT_EQ(pool.take(kServer)->placeholders, 2u) << "large cookies: what fits the budget";
}

TEST(CookiePool, AnswersRefillOnlyTheirOwnExchangeAndANakEndsIt) {
    nts::CookiePool pool;
    pool.refill(kServer, key(1), key(2), cookies(2, 1));
    std::optional<nts::Ticket> first = pool.take(kServer);
    std::optional<nts::Ticket> second = pool.take(kServer);
    pool.add(first->exchange, cookies(3, 20));
    EXPECT_EQ(pool.cookieCount(), 3u);
    pool.add(second->exchange, cookies(7, 30));
    EXPECT_EQ(pool.cookieCount(), 8u) << "the rest dropped";
    EXPECT_EQ(pool.take(kServer)->cookie, ntstest::filled(100, 20));

    pool.refill(kServer, key(5), key(6), cookies(1, 50));
    pool.add(first->exchange, cookies(3, 60));
    EXPECT_EQ(pool.cookieCount(), 1u) << "a late answer to the last exchange brings nothing";
    pool.dropAfterNak(first->exchange);
    EXPECT_EQ(pool.cookieCount(), 1u) << "nor does its NAK take anything";

    pool.refill(kServer, key(5), key(6), cookies(4, 50));
    std::uint64_t exchange = pool.take(kServer)->exchange;
    pool.dropAfterNak(exchange);
    EXPECT_EQ(pool.cookieCount(), 0u);
    EXPECT_TRUE(pool.needsKeyExchange(kServer));
    pool.add(exchange, cookies(2, 70));
    EXPECT_EQ(pool.cookieCount(), 0u) << "after a NAK the exchange is over";
}

TEST(CookiePool, AnotherServerNeedsItsOwnExchange) {
    nts::CookiePool pool;
    pool.refill(kServer, key(1), key(2), cookies(4, 1));
    EXPECT_TRUE(pool.needsKeyExchange("other.example"));
    EXPECT_FALSE(pool.take("other.example"));
    EXPECT_EQ(pool.cookieCount(), 0u) << "the old server's cookies and keys are dropped";
    EXPECT_TRUE(pool.needsKeyExchange(kServer)) << "and going back needs a new exchange";
    EXPECT_FALSE(pool.take(kServer));
}

TEST(CookiePool, RequestThreadsTakeWhileTheReceivingThreadAdds) {
    nts::CookiePool pool;
    pool.refill(kServer, key(1), key(2), std::vector<nts::Cookie>(8, ntstest::filled(100, 1)));
    std::uint64_t exchange = pool.take(kServer)->exchange;
    std::size_t whole = 0;
    std::size_t broken = 0;
    std::thread requests([&] {
        for (int i = 0; i < 2000; ++i) {
            std::optional<nts::Ticket> ticket = pool.take(kServer);
            if (ticket) ++(ticket->cookie == ntstest::filled(100, 1) && ticket->c2s == key(1) ? whole : broken);
        }
    });
    for (int i = 0; i < 2000; ++i) pool.add(exchange, cookies(1, 1));
    requests.join();
    EXPECT_EQ(broken, 0u);
    EXPECT_GT(whole, 0u);
    EXPECT_LE(pool.cookieCount(), 8u);
}
