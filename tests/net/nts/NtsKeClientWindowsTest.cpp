// The key exchange on Windows: the trust anchors are the system's "ROOT"
// store, so chronyd's certificate (tests/harness/with-peers) is taken once
// its test CA is in the Wine prefix's own root store, and not while only
// another CA is; and Winsock's connection failures keep their codes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/Driver.h"
#include "net/NetTestSupport.h"
#include "net/nts/KeClient.h"
#include "platform/WinsockErrors.h"

namespace {

const char* peer(const char* variable) { return std::getenv(variable); }

}  // namespace

TEST(NtsOnWindows, TheRootStoreDecides) {
    if (peer("MARIVEL_NTS_PEER") == nullptr) GTEST_SKIP() << "run through tests/harness/with-peers";

    ASSERT_TRUE(driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_UNTRUSTED_CA_DER")));
    EXPECT_EQ(nts::exchangeKeys(peer("MARIVEL_NTS_PEER")).outcome, nts::KeOutcome::CertificateUntrusted);

    // Each exchange reads the store anew.
    ASSERT_TRUE(driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_CA_DER")));
    nts::KeResult keys = nts::exchangeKeys(peer("MARIVEL_NTS_PEER"));
    ASSERT_EQ(keys.outcome, nts::KeOutcome::Done) << keys.error;
    EXPECT_EQ(keys.cookies.size(), 8u);
}

TEST(NtsOnWindows, ARefusedOrSilentServerIsNoConnection) {
    if (peer("MARIVEL_NTS_PEER") == nullptr) GTEST_SKIP() << "run through tests/harness/with-peers";
    nts::KeResult closed = nts::exchangeKeys(peer("MARIVEL_NTS_CLOSED_PEER"));
    EXPECT_EQ(closed.outcome, nts::KeOutcome::NoConnection);
    EXPECT_EQ(closed.error, wsa::kConnectionRefused);
    nts::KeOptions shortLimit;
    shortLimit.totalTimeoutMs = 1500;
    nts::KeResult silent = nts::exchangeKeys(peer("MARIVEL_NTS_SILENT_PEER"), shortLimit);
    EXPECT_EQ(silent.outcome, nts::KeOutcome::NoConnection);
    EXPECT_EQ(silent.error, wsa::kTimedOut);
}
