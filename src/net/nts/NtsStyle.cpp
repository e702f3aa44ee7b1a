#include "net/nts/NtsStyle.h"

#include <algorithm>
#include <optional>

#include "net/Reply.h"
#include "net/nts/NtsAuthenticator.h"
#include "net/nts/NtsPacket.h"
#include "platform/Random.h"

namespace {

// What a request keeps to open its answer: its identifier, the key of the
// exchange it came from (a newer exchange may have replaced the pool's),
// and the name that exchange verified.
struct NtsRequestData : StyleData {
    nts::UniqueId uniqueId{};
    nts::Key s2c{};
    std::uint64_t exchange = 0;
    std::string verifiedName;
    ~NtsRequestData() override { nts::wipe(s2c); }
};

// What an answer hands the pool once it is taken.
struct NtsAnswerData : StyleData {
    bool nak = false;
    std::uint64_t exchange = 0;
    std::vector<nts::Cookie> cookies;
    ~NtsAnswerData() override { nts::wipe(cookies); }
};

RequestOutcome outcomeOf(nts::KeOutcome outcome) {
    switch (outcome) {
        case nts::KeOutcome::NameNotFound:
            return RequestOutcome::NameNotFound;
        case nts::KeOutcome::NoConnection:
            return RequestOutcome::NoKeyExchange;
        case nts::KeOutcome::CertificateUntrusted:
            return RequestOutcome::CertificateUntrusted;
        case nts::KeOutcome::CertificateName:
            return RequestOutcome::CertificateName;
        case nts::KeOutcome::CertificateDates:
            return RequestOutcome::CertificateDates;
        case nts::KeOutcome::ServerRefused:
            return RequestOutcome::KeyExchangeRefused;
        case nts::KeOutcome::Done:
        case nts::KeOutcome::Failed:
            break;
    }
    return RequestOutcome::KeyExchangeFailed;
}

template <typename Bytes>
bool random(Bytes& bytes) {
    return platform::cryptoRandom(bytes.data(), bytes.size());
}

}  // namespace

NtsStyle::NtsStyle(KeyExchange exchange) : exchange_(std::move(exchange)) {}

std::size_t NtsStyle::largestAnswer() const { return nts::kAnswerBufferSize; }

PreparedRequest NtsStyle::exchangeKeysWith(const std::string& server) {
    nts::KeResult result = exchange_(server);
    if (result.outcome != nts::KeOutcome::Done) {
        return PreparedRequest::failed(outcomeOf(result.outcome), result.error, result.subject);
    }
    pool_.refill(server, result.c2s, result.s2c, std::move(result.cookies));
    verifiedName_ = std::move(result.subject);
    std::copy(result.address, result.address + 4, address_);
    port_ = result.port;
    PreparedRequest exchanged;
    exchanged.ready = true;
    return exchanged;
}

PreparedRequest NtsStyle::prepare(const std::string& server, const std::string&) {
    PreparedRequest request;
    auto memory = std::make_shared<NtsRequestData>();
    std::optional<nts::Ticket> ticket;
    {
        std::lock_guard<std::mutex> hold(exchanging_);
        ticket = pool_.take(server);
        if (!ticket) {
            PreparedRequest exchanged = exchangeKeysWith(server);
            if (!exchanged.ready) return exchanged;
            ticket = pool_.take(server);
            if (!ticket) return PreparedRequest::failed(RequestOutcome::KeyExchangeFailed, 0, verifiedName_);
        }
        memory->verifiedName = verifiedName_;
        request.destination.family = kAfInet;
        std::copy(address_, address_ + 4, request.destination.address);
        request.destination.port = port_;
    }
    nts::AeadNonce aeadNonce{};
    if (!platform::cryptoRandom(&request.nonce, sizeof request.nonce) || !random(memory->uniqueId) ||
        !random(aeadNonce)) {
        return PreparedRequest::failed(RequestOutcome::NotSent);
    }
    request.datagram = nts::buildRequest(request.nonce, memory->uniqueId, ticket->cookie, ticket->placeholders,
                                         aeadNonce, ticket->c2s);
    if (request.datagram.empty()) return PreparedRequest::failed(RequestOutcome::NotSent);
    memory->s2c = ticket->s2c;
    memory->exchange = ticket->exchange;
    request.memory = std::move(memory);
    request.ready = true;
    return request;
}

bool NtsStyle::judge(const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                     Sample& sample) const {
    const auto* memory = dynamic_cast<const NtsRequestData*>(request.memory.get());
    if (memory == nullptr) return false;
    nts::NtsAnswer answer = nts::readAnswer(data, length, request.nonce, memory->uniqueId, memory->s2c);
    if (answer.kind != nts::AnswerKind::Authenticated && answer.kind != nts::AnswerKind::Nak) return false;
    sample.ntp = answer.header;
    auto taken = std::make_shared<NtsAnswerData>();
    taken->exchange = memory->exchange;
    if (answer.kind == nts::AnswerKind::Nak) {
        // Not authenticated, but it echoes what only the request carried;
        // all it can do is end the cookies.
        taken->nak = true;
        sample.kiss = true;
        sample.kissCode = KissCode::Other;
        sample.styleData = std::move(taken);
        return true;
    }
    if (!judgeNtpHeader(sample, request.nonce)) return false;
    taken->cookies = std::move(answer.cookies);
    sample.authenticatedBy = memory->verifiedName;
    sample.styleData = std::move(taken);
    return true;
}

void NtsStyle::taken(const Sample& sample) {
    const auto* answer = dynamic_cast<const NtsAnswerData*>(sample.styleData.get());
    if (answer == nullptr) return;
    if (answer->nak)
        pool_.dropAfterNak(answer->exchange);
    else
        pool_.add(answer->exchange, answer->cookies);
}

RequestStyle& ntsStyle() {
    static NtsStyle style([](const std::string& server) { return nts::exchangeKeys(server); });
    return style;
}
