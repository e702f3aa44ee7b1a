# The download step of cmake/WolfSSL.cmake, run in its download folder:
#   cmake -DSOURCE_DIR=DIR -DUPSTREAM_VERSION=5.5.4 -DDSC=FILE -P FetchWolfSSL.cmake
# Fetches Debian's source package wolfssl (the version apt offers: the
# release with its security updates) and unpacks it into SOURCE_DIR with
# Debian's patches applied; keeps its .dsc as DSC. Refuses another upstream
# version: the build's configuration is made for UPSTREAM_VERSION.
file(GLOB old wolfssl_*)
if(old)
    file(REMOVE ${old})
endif()
execute_process(COMMAND apt-get source --download-only -q wolfssl RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "FetchWolfSSL: apt-get source wolfssl failed: does apt have a deb-src entry? "
                        "(tools/install-deps adds one)")
endif()
file(GLOB dsc wolfssl_*.dsc)
file(STRINGS ${dsc} version REGEX "^Version: ")
string(REGEX REPLACE "^Version: " "" version "${version}")
if(NOT version MATCHES "^${UPSTREAM_VERSION}-")
    message(FATAL_ERROR "FetchWolfSSL: Debian offers wolfssl ${version}; this build is made for ${UPSTREAM_VERSION}")
endif()
file(REMOVE_RECURSE ${SOURCE_DIR})
execute_process(COMMAND dpkg-source -x ${dsc} ${SOURCE_DIR} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "FetchWolfSSL: dpkg-source -x ${dsc} failed")
endif()
file(COPY_FILE ${dsc} ${DSC})
