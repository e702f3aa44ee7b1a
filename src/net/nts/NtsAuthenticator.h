// Sealing an NTS request and opening its answer with the keys of a key
// exchange (RFC 8915 5.6 and 5.7), over the AEAD of Aead.h; the layout
// itself is NtsPacket.h's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/nts/NtsPacket.h"

namespace nts {

// The whole request: requestBeforeAuthenticator's bytes, then the
// Authenticator holding aeadNonce and the AEAD of an empty plaintext under
// the client-to-server key, with everything before it as associated data.
// Empty when requestBeforeAuthenticator refuses or the AEAD fails.
std::vector<std::uint8_t> buildRequest(std::uint64_t nonce, const UniqueId& uniqueId, const Cookie& cookie,
                                       std::size_t placeholders, const AeadNonce& aeadNonce, const Key& c2s);

struct NtsAnswer {
    AnswerKind kind = AnswerKind::Unusable;  // Unusable, Nak or Authenticated
    wire::NtpHeader header{};                // for Authenticated and Nak
    std::vector<Cookie> cookies;             // Authenticated: the sealed NTS Cookie fields, up to kMaxCookies
};

// An answer to the request that sent `origin` as its transmit timestamp
// and `uniqueId`: inspectAnswer's checks, then for a sealed one the
// Authenticator opened with the server-to-client key, and the NTS Cookie
// fields of its plaintext as the new cookies (sized as KeRecords.h takes
// them; others are passed over). A plaintext that is not a sequence of
// well-formed fields makes the answer unusable.
NtsAnswer readAnswer(const std::uint8_t* data, std::size_t length, std::uint64_t origin, const UniqueId& uniqueId,
                     const Key& s2c);

}  // namespace nts
