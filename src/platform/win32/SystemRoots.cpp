#include "platform/SystemRoots.h"

#include <windows.h>

#include <wincrypt.h>

#include "platform/win32/Owned.h"

namespace platform {
namespace {

BOOL closeStore(HCERTSTORE store) { return CertCloseStore(store, 0); }
using CertificateStore = Owned<HCERTSTORE, closeStore>;

}  // namespace

bool readSystemRoots(const std::function<void(const std::uint8_t*, std::size_t, CertificateEncoding)>& take) {
    // The "ROOT" store alone: the "CA" store beside it holds intermediates,
    // which are no trust anchors.
    CertificateStore store(CertOpenSystemStoreA(0, "ROOT"));
    if (!store) return false;
    // Each call lets go of the certificate before; the last returns none.
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(store.get(), certificate)) != nullptr) {
        if ((certificate->dwCertEncodingType & X509_ASN_ENCODING) != 0) {
            take(certificate->pbCertEncoded, certificate->cbCertEncoded, CertificateEncoding::Der);
        }
    }
    return true;
}

}  // namespace platform
