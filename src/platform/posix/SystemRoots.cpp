#include "platform/SystemRoots.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace platform {

bool readSystemRoots(const std::function<void(const std::uint8_t*, std::size_t, CertificateEncoding)>& take) {
    // Debian's bundle of the roots it trusts (package ca-certificates).
    std::ifstream file("/etc/ssl/certs/ca-certificates.crt", std::ios::binary);
    if (!file) return false;
    std::vector<std::uint8_t> bundle((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    take(bundle.data(), bundle.size(), CertificateEncoding::Pem);
    return true;
}

}  // namespace platform
