// The cookies and keys of one key exchange with one server: each request
// takes a cookie (a cookie goes out once, so a lost request costs its
// cookie), each authenticated answer brings new ones, a NAK ends them all.
// Every operation holds the pool's own lock: the clock's request threads
// take while its receiving thread adds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/nts/Secret.h"

namespace nts {

// What one request needs from the pool. Its keys and cookie are wiped
// when it goes.
struct Ticket {
    Cookie cookie;
    Key c2s{};  // seals the request
    Key s2c{};  // opens its answer, even after a newer exchange
    std::size_t placeholders = 0;
    std::uint64_t exchange = 0;  // which key exchange: its answer's cookies go back only to it

    Ticket() = default;
    Ticket(Ticket&&) = default;
    Ticket& operator=(Ticket&&) = default;
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;
    ~Ticket() {
        wipe(cookie);
        wipe(c2s);
        wipe(s2c);
    }
};

class CookiePool {
public:
    CookiePool() = default;
    ~CookiePool();
    CookiePool(const CookiePool&) = delete;
    CookiePool& operator=(const CookiePool&) = delete;

    // A successful key exchange with `server`: its keys and cookies replace
    // whatever was held (beyond kMaxCookies the rest are dropped).
    void refill(const std::string& server, const Key& c2s, const Key& s2c, std::vector<Cookie> cookies);

    // A cookie for a request to `server`, the oldest first, with the keys
    // and as many placeholders as bring the pool back to kMaxCookies
    // (placeholdersFor). Nothing when no cookie is left, or the pool is
    // another server's, whose cookies and keys are then dropped.
    std::optional<Ticket> take(const std::string& server);

    // An authenticated answer's cookies, to the exchange its request came
    // from; never beyond kMaxCookies.
    void add(std::uint64_t exchange, std::vector<Cookie> cookies);

    // A NAK to a request of `exchange`: the server takes none of its
    // cookies any more, so they and the keys go, and a key exchange is due.
    void dropAfterNak(std::uint64_t exchange);

    bool needsKeyExchange(const std::string& server) const;
    std::size_t cookieCount() const;

private:
    void dropLocked();

    mutable std::mutex mutex_;
    std::string server_;
    Key c2s_{};
    Key s2c_{};
    std::deque<Cookie> cookies_;
    std::uint64_t exchange_ = 0;  // 0: none yet
};

}  // namespace nts
