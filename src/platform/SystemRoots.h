// The system's own trust anchors, for the NTS key exchange's TLS: on
// Windows the certificates of its "ROOT" store, elsewhere the
// distribution's bundle. Only read, never changed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

enum class CertificateEncoding : std::uint8_t { Der, Pem };

// Hands over the root certificates as the store keeps them: on Windows one
// DER certificate at a time, elsewhere the whole PEM bundle at once. False
// when the store cannot be opened.
bool readSystemRoots(const std::function<void(const std::uint8_t*, std::size_t, CertificateEncoding)>& take);

}  // namespace platform
