# marivel_tls: wolfSSL, the TLS library of NTS, built once per build folder
# as a static library for this build's compiler (mingw-w64 for Windows, the
# host's for the native builds). Its source is Debian's source package with
# Debian's patches applied (apt-get source, which tools/install-deps makes
# possible), never the bare upstream tarball. The steps run at build time,
# each once: a rebuild of the project does not rebuild wolfSSL. A source
# that uses it includes <wolfssl/options.h> (the build's settings) before
# any other wolfSSL header.
include(ExternalProject)

set(WOLFSSL_UPSTREAM_VERSION 5.5.4)
set(WOLFSSL_ROOT ${CMAKE_BINARY_DIR}/wolfssl)
set(WOLFSSL_PREFIX ${WOLFSSL_ROOT}/install)
set(WOLFSSL_LIBRARY ${WOLFSSL_PREFIX}/lib/libwolfssl.a)
# The .dsc of the source built, for the notice the packages carry.
set(WOLFSSL_DSC ${WOLFSSL_ROOT}/wolfssl.dsc)

# The smallest sound client: TLS 1.3 only, with SNI, ALPN and the keying
# material exporter of NTS-KE, AES-SIV for NTS itself, and no server side.
# The system's roots are read by the program itself (platform/SystemRoots.h).
# IP address names are decoded (--enable-ip-alt-name) and the verify
# callback sees every leaf, not only failing ones (WOLFSSL_ALWAYS_VERIFY_CB),
# so that a server named by its address is checked against them.
set(WOLFSSL_FEATURES
    --enable-tls13 --disable-tlsv12 --disable-oldtls
    --enable-sni --enable-alpn --enable-keying-material --enable-aessiv --enable-ip-alt-name
    --disable-sys-ca-certs --disable-errorstrings
    --enable-ecc --enable-curve25519 --enable-supportedcurves --enable-rsa --enable-rsapss
    --enable-aesgcm --enable-chacha --enable-poly1305
    --disable-dh --disable-md5 --disable-sha3 --disable-aescbc --disable-psk --disable-session-ticket
    --disable-oaep --disable-pkcs12 --disable-pwdbased --disable-sha224 --disable-extended-master --disable-enc-then-mac
    --disable-examples --disable-crypttests --disable-benchmark)
set(WOLFSSL_CFLAGS "-Os -ffunction-sections -fdata-sections -DNO_WOLFSSL_SERVER -DWOLFSSL_ALWAYS_VERIFY_CB")
if(WIN32)
    set(WOLFSSL_HOST --host=x86_64-w64-mingw32)
endif()

ExternalProject_Add(wolfssl
    PREFIX ${WOLFSSL_ROOT}
    SOURCE_DIR ${WOLFSSL_ROOT}/source
    DOWNLOAD_DIR ${WOLFSSL_ROOT}/debian
    DOWNLOAD_COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=<SOURCE_DIR> -DUPSTREAM_VERSION=${WOLFSSL_UPSTREAM_VERSION}
                     -DDSC=${WOLFSSL_DSC} -P ${CMAKE_CURRENT_LIST_DIR}/FetchWolfSSL.cmake
    UPDATE_COMMAND ""
    BUILD_IN_SOURCE TRUE
    CONFIGURE_COMMAND ./autogen.sh
    COMMAND ./configure ${WOLFSSL_HOST} --prefix=${WOLFSSL_PREFIX} --enable-static --disable-shared
            ${WOLFSSL_FEATURES} CC=${CMAKE_C_COMPILER} CFLAGS=${WOLFSSL_CFLAGS}
    BUILD_BYPRODUCTS ${WOLFSSL_LIBRARY} ${WOLFSSL_DSC}
    LOG_DOWNLOAD TRUE LOG_CONFIGURE TRUE LOG_BUILD TRUE LOG_INSTALL TRUE LOG_OUTPUT_ON_FAILURE TRUE)

add_library(marivel_tls STATIC IMPORTED GLOBAL)
file(MAKE_DIRECTORY ${WOLFSSL_PREFIX}/include)
set_target_properties(marivel_tls PROPERTIES
    IMPORTED_LOCATION ${WOLFSSL_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${WOLFSSL_PREFIX}/include)
if(WIN32)
    # CryptGenRandom.
    set_property(TARGET marivel_tls PROPERTY INTERFACE_LINK_LIBRARIES advapi32 ws2_32)
else()
    set_property(TARGET marivel_tls PROPERTY INTERFACE_LINK_LIBRARIES m)
endif()
add_dependencies(marivel_tls wolfssl)
