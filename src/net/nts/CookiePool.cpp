#include "net/nts/CookiePool.h"

#include <utility>

#include "net/nts/NtsPacket.h"

namespace nts {

CookiePool::~CookiePool() { dropLocked(); }

void CookiePool::dropLocked() {
    for (Cookie& cookie : cookies_) wipe(cookie);
    cookies_.clear();
    wipe(c2s_);
    wipe(s2c_);
    server_.clear();
}

void CookiePool::refill(const std::string& server, const Key& c2s, const Key& s2c, std::vector<Cookie> cookies) {
    std::lock_guard<std::mutex> hold(mutex_);
    dropLocked();
    server_ = server;
    c2s_ = c2s;
    s2c_ = s2c;
    ++exchange_;
    for (Cookie& cookie : cookies) {
        if (cookies_.size() < kMaxCookies) cookies_.push_back(std::move(cookie));
    }
    wipe(cookies);
}

std::optional<Ticket> CookiePool::take(const std::string& server) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (server != server_) {
        dropLocked();
        return std::nullopt;
    }
    if (cookies_.empty()) return std::nullopt;
    std::optional<Ticket> ticket(std::in_place);
    ticket->cookie = std::move(cookies_.front());
    cookies_.pop_front();
    ticket->c2s = c2s_;
    ticket->s2c = s2c_;
    ticket->placeholders = placeholdersFor(cookies_.size(), ticket->cookie.size());
    ticket->exchange = exchange_;
    return ticket;
}

void CookiePool::add(std::uint64_t exchange, std::vector<Cookie> cookies) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (exchange == exchange_ && !server_.empty()) {
        for (Cookie& cookie : cookies) {
            if (cookies_.size() < kMaxCookies) cookies_.push_back(std::move(cookie));
        }
    }
    wipe(cookies);
}

void CookiePool::dropAfterNak(std::uint64_t exchange) {
    std::lock_guard<std::mutex> hold(mutex_);
    // A NAK to an older exchange says nothing of this one's cookies.
    if (exchange == exchange_) dropLocked();
}

bool CookiePool::needsKeyExchange(const std::string& server) const {
    std::lock_guard<std::mutex> hold(mutex_);
    return server != server_ || cookies_.empty();
}

std::size_t CookiePool::cookieCount() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return cookies_.size();
}

}  // namespace nts
