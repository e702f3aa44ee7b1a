// What an NTS key exchange costs against chronyd on loopback
// (tests/harness/with-peers): the whole exchange with the test CA as the
// only anchor, and on Windows also the root store's reading and the
// exchange trusting it, the test CA put into the Wine prefix's own store.
// Prints its figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "net/Socket.h"
#include "net/nts/KeClient.h"
#include "platform/SystemRoots.h"
#ifdef _WIN32
#include "e2e/Driver.h"
#endif

namespace {

constexpr int kRounds = 20;

double millisecondsOf(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The first exchange, then the median and the largest of the others.
void exchanges(const char* what, const std::string& peer, const nts::KeOptions& options) {
    std::vector<double> times;
    int done = 0;
    for (int i = 0; i < kRounds; ++i) {
        times.push_back(millisecondsOf([&] { done += nts::exchangeKeys(peer, options).outcome == nts::KeOutcome::Done; }));
    }
    double first = times.front();
    times.erase(times.begin());
    std::sort(times.begin(), times.end());
    std::printf("| key exchange, %s: first / median / largest of the next %d, ms | %.1f / %.1f / %.1f (%d of %d done) |\n",
                what, kRounds - 1, first, times[times.size() / 2], times.back(), done, kRounds);
}

}  // namespace

int main() {
    const char* peer = std::getenv("MARIVEL_NTS_PEER");
    const char* ca = std::getenv("MARIVEL_NTS_CA");
    if (peer == nullptr || ca == nullptr) {
        std::fprintf(stderr, "nts_ke_cost: run it through tests/harness/with-peers\n");
        return 2;
    }
    CWinsockInit winsock(2, 2);
    winsock.startup();
    std::printf("| what | figure |\n| --- | --- |\n");
    nts::KeOptions fromFile;
    fromFile.trust = nts::TrustAnchors::File;
#ifdef _WIN32
    // The system's store is read only here, on Windows; natively never.
    for (const char* which : {"first", "second"}) {
        int certificates = 0;
        double took = millisecondsOf([&] {
            platform::readSystemRoots([&](const std::uint8_t*, std::size_t, platform::CertificateEncoding) {
                ++certificates;
            });
        });
        std::printf("| %s reading of the root store, ms | %.1f (%d certificates) |\n", which, took, certificates);
    }
    if (!driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_CA_DER"))) {
        std::fprintf(stderr, "nts_ke_cost: cannot put the test CA into the prefix's root store\n");
        return 1;
    }
    exchanges("trusting the root store", peer, nts::KeOptions{});
    fromFile.caFile = driver::windowsPathOf("MARIVEL_NTS_CA");
#else
    fromFile.caFile = ca;
#endif
    exchanges("the test CA alone", peer, fromFile);
    return 0;
}
