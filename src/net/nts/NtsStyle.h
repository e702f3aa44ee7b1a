// Network Time Security (RFC 8915): the NTP request style in which every
// answer is authenticated. Its key exchange runs on the request's thread
// when the cookies have run out, the server has changed, or the server
// said NAK; each request then carries one cookie and is sealed with the
// exchange's keys, and only an answer that opens with them is taken. No
// unauthenticated request goes out and no unauthenticated answer is used,
// whatever fails: the one exception is the NAK, which only ends the
// cookies.
#pragma once
#include <functional>
#include <mutex>
#include <string>

#include "net/RequestStyle.h"
#include "net/nts/CookiePool.h"
#include "net/nts/KeClient.h"

class NtsStyle : public RequestStyle {
public:
    // The key exchange with a server text: nts::exchangeKeys unless a test
    // gives another.
    using KeyExchange = std::function<nts::KeResult(const std::string& serverText)>;

    explicit NtsStyle(KeyExchange exchange);

    const char* name() const override { return "NTS"; }
    std::size_t largestAnswer() const override;
    // The key exchange's failure, or the sealed request to where the
    // exchange said. Without random bits for the nonce, the identifier or
    // the AEAD's nonce nothing is sent.
    PreparedRequest prepare(const std::string& server, const std::string& portText) override;
    // An answer that opens with the request's server-to-client key, echoes
    // its nonce and identifier and passes the header's checks; or a NAK
    // that echoes them, as a kiss.
    bool judge(const RequestRecord& request, const std::uint8_t* data, std::size_t length,
               Sample& sample) const override;
    // Keeps the answer's new cookies; a NAK drops them all.
    void taken(const Sample& sample) override;
    // Not bound by the clock's arithmetic of the other styles: the offset
    // from all four timestamps, for the clock as for the service.
    ClockCorrection clockCorrection(const Sample& sample) const override {
        return clockCorrectionFromOffset(sample, offsetFromTimestamps(sample));
    }
    std::int64_t serviceOffset(const Sample& sample) const override { return offsetFromTimestamps(sample); }

    std::size_t cookiesLeft() const { return pool_.cookieCount(); }

private:
    PreparedRequest exchangeKeysWith(const std::string& server);

    KeyExchange exchange_;
    nts::CookiePool pool_;
    // One key exchange at a time; the requests that wait for it then use
    // its cookies. Also guards where the requests go.
    std::mutex exchanging_;
    std::uint8_t address_[4] = {0, 0, 0, 0};
    std::uint16_t port_ = 0;
    std::string verifiedName_;  // the name the cookies' exchange verified
};
