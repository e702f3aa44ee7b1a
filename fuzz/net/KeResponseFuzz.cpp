// The key exchange's response parser: any stream, fed whole and fed in
// pieces of sizes the input chooses, comes to the same outcome; a success
// holds one to eight cookies that can go back in a request, and a server
// text of host-name or address characters.
#include <algorithm>

#include "FuzzInput.h"
#include "net/nts/KeRecords.h"

namespace {

bool sameOutcome(const nts::KeResponse& a, const nts::KeResponse& b) {
    return a.failure == b.failure && a.code == b.code && a.cookies == b.cookies && a.server == b.server &&
           a.port == b.port;
}

bool serverCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == ':';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::uint32_t pieces = input.number<std::uint32_t>();
    std::vector<std::uint8_t> stream = input.rest();

    nts::KeResponseParser whole;
    bool wholeDone = whole.feed(stream.data(), stream.size());
    nts::KeResponse outcome = whole.take();

    nts::KeResponseParser pieced;
    bool piecedDone = false;
    for (std::size_t offset = 0; offset < stream.size();) {
        // Piece sizes from 1 to 64 bytes, drawn from the input's seed.
        pieces = pieces * 1103515245u + 12345u;
        std::size_t piece = std::min<std::size_t>((pieces >> 16) % 64 + 1, stream.size() - offset);
        piecedDone = pieced.feed(stream.data() + offset, piece);
        offset += piece;
    }
    FUZZ_CHECK(piecedDone == wholeDone || stream.empty());
    FUZZ_CHECK(sameOutcome(outcome, pieced.take()));
    FUZZ_CHECK(wholeDone == (outcome.failure != nts::KeFailure::Incomplete));

    if (!outcome.succeeded()) {
        FUZZ_CHECK(outcome.cookies.empty() && outcome.server.empty() && outcome.port == 0);
        return 0;
    }
    FUZZ_CHECK(!outcome.cookies.empty() && outcome.cookies.size() <= nts::kMaxCookies);
    for (const nts::Cookie& cookie : outcome.cookies) {
        FUZZ_CHECK(cookie.size() >= nts::kMinCookieSize && cookie.size() <= nts::kMaxCookieSize);
        FUZZ_CHECK(cookie.size() % 4 == 0);
    }
    FUZZ_CHECK(std::all_of(outcome.server.begin(), outcome.server.end(), serverCharacter));
    FUZZ_CHECK(outcome.server.size() <= nts::kMaxServerNameSize + 1);
    return 0;
}
