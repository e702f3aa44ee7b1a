# NOTICE.txt for the packages, naming the wolfSSL source package that was
# built as its .dsc says, at build time:
#   cmake -DDSC=FILE -DTEMPLATE=NOTICE.txt.in -DOUTPUT=FILE -DPROJECT_VERSION=V -P Notice.cmake
file(STRINGS ${DSC} source REGEX "^Source: ")
file(STRINGS ${DSC} version REGEX "^Version: ")
string(REGEX REPLACE "^Source: " "" WOLFSSL_SOURCE "${source}")
string(REGEX REPLACE "^Version: " "" WOLFSSL_DEBIAN_VERSION "${version}")
string(REGEX REPLACE "-[^-]+$" "" WOLFSSL_VERSION "${WOLFSSL_DEBIAN_VERSION}")
if(NOT WOLFSSL_SOURCE OR NOT WOLFSSL_VERSION)
    message(FATAL_ERROR "Notice.cmake: ${DSC} names no source package and version")
endif()
# Windows users read it in Notepad.
configure_file(${TEMPLATE} ${OUTPUT} @ONLY NEWLINE_STYLE CRLF)
