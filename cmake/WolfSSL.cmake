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
# material exporter of NTS-KE, AES-SIV for NTS itself, the system's CAs, and
# no server side.
set(WOLFSSL_FEATURES
    --enable-tls13 --disable-tlsv12 --disable-oldtls
    --enable-sni --enable-alpn --enable-keying-material --enable-aessiv --enable-sys-ca-certs
    --enable-ecc --enable-curve25519 --enable-supportedcurves --enable-rsa --enable-rsapss
    --enable-aesgcm --enable-chacha --enable-poly1305
    --disable-dh --disable-md5 --disable-sha3 --disable-aescbc --disable-psk --disable-session-ticket
    --disable-oaep --disable-pkcs12 --disable-pwdbased --disable-sha224 --disable-extended-master --disable-enc-then-mac
    --disable-examples --disable-crypttests --disable-benchmark)
set(WOLFSSL_CFLAGS "-Os -ffunction-sections -fdata-sections -DNO_WOLFSSL_SERVER")
set(WOLFSSL_CPPFLAGS "")
if(WIN32)
    set(WOLFSSL_HOST --host=x86_64-w64-mingw32)
    # wolfSSL includes <Wincrypt.h>; mingw-w64's header is wincrypt.h, which
    # a case-sensitive file system tells apart.
    set(WOLFSSL_COMPAT ${WOLFSSL_ROOT}/include-compat)
    file(WRITE ${WOLFSSL_COMPAT}/Wincrypt.h "#include <wincrypt.h>\n")
    set(WOLFSSL_CPPFLAGS "-I${WOLFSSL_COMPAT}")
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
            ${WOLFSSL_FEATURES} CC=${CMAKE_C_COMPILER} CFLAGS=${WOLFSSL_CFLAGS} CPPFLAGS=${WOLFSSL_CPPFLAGS}
    BUILD_BYPRODUCTS ${WOLFSSL_LIBRARY} ${WOLFSSL_DSC}
    LOG_DOWNLOAD TRUE LOG_CONFIGURE TRUE LOG_BUILD TRUE LOG_INSTALL TRUE LOG_OUTPUT_ON_FAILURE TRUE)

add_library(marivel_tls STATIC IMPORTED GLOBAL)
file(MAKE_DIRECTORY ${WOLFSSL_PREFIX}/include)
set_target_properties(marivel_tls PROPERTIES
    IMPORTED_LOCATION ${WOLFSSL_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${WOLFSSL_PREFIX}/include)
if(WIN32)
    # The system's certificate store, and CryptGenRandom.
    set_property(TARGET marivel_tls PROPERTY INTERFACE_LINK_LIBRARIES crypt32 advapi32 ws2_32)
else()
    set_property(TARGET marivel_tls PROPERTY INTERFACE_LINK_LIBRARIES m)
endif()
add_dependencies(marivel_tls wolfssl)
