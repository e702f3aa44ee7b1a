// Server-text resolution and port lookup. Host names go to the system's
// resolver, so this target refuses to run anywhere but in a network
// namespace that has only loopback (tests/harness/isolated): there a name
// not in /etc/hosts fails at once and no query leaves the machine.
#include <net/if.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "errors/Exceptions.h"
#include "net/Resolve.h"
#include "net/Socket.h"
#include "platform/WinsockErrors.h"

namespace {

bool onlyLoopback() {
    struct if_nameindex* links = if_nameindex();
    if (links == nullptr) return false;
    bool loopbackOnly = true;
    for (struct if_nameindex* link = links; link->if_index != 0; ++link) {
        loopbackOnly = loopbackOnly && std::strcmp(link->if_name, "lo") == 0;
    }
    if_freenameindex(links);
    return loopbackOnly;
}

// atoi's reading of text by the C library, kept to the int range.
int libraryNumber(const char* text) {
    long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// The dotted form as the C library's sscanf reads it, each number kept to
// the int range; text fits the word.
DottedForm libraryDottedForm(const char* text) {
    long long numbers[kAddressNumbers] = {};
    char word[kServerTextLimit + 1] = "";
    int scanned = std::sscanf(text, " %lld %*[^0-9] %lld %*[^0-9] %lld %*[^0-9] %lld %*[^0-9] %s", &numbers[0],
                              &numbers[1], &numbers[2], &numbers[3], word);
    DottedForm form;
    form.count = std::clamp(scanned, 0, kAddressNumbers);
    for (int i = 0; i < form.count; ++i)
        form.numbers[i] = static_cast<std::uint32_t>(std::min<long long>(numbers[i], INT_MAX));
    form.portWord = word;
    return form;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!onlyLoopback()) {
        std::fprintf(stderr, "resolve fuzzer: a link other than loopback; run it through tests/harness/isolated\n");
        std::exit(125);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::string serverText = input.text();
    std::string defaultPortText = input.text();

    FUZZ_CHECK(leadingNumber(serverText.c_str()) == libraryNumber(serverText.c_str()));
    if (!defaultPortText.empty() && defaultPortText[0] >= '0' && defaultPortText[0] <= '9') {
        FUZZ_CHECK(lookupPort(defaultPortText.c_str(), "udp") ==
                   static_cast<std::uint16_t>(leadingNumber(defaultPortText.c_str())));
    }

    if (serverText.size() <= kServerTextLimit && serverText[0] >= '0' && serverText[0] <= '9') {
        DottedForm form = scanDottedForm(serverText.c_str());
        DottedForm expected = libraryDottedForm(serverText.c_str());
        FUZZ_CHECK(form.count == expected.count && form.portWord == expected.portWord);
        for (int i = 0; i < form.count; ++i) FUZZ_CHECK(form.numbers[i] == expected.numbers[i]);
    }

    CInetAddr destination;
    try {
        destination.resolve(serverText.c_str(), defaultPortText.c_str(), kAfInet);
    } catch (CSocketException failure) {
        FUZZ_CHECK(failure.code != wsa::kNameTooLong || serverText.size() > kServerTextLimit);
        FUZZ_CHECK(std::strlen(failure.message) < sizeof failure.message);
        return 0;
    }
    // Nothing longer than the work buffer is ever resolved, not even cut.
    FUZZ_CHECK(serverText.size() <= kServerTextLimit);
    FUZZ_CHECK(destination.family == kAfInet);
    for (std::uint8_t byte : destination.zero) FUZZ_CHECK(byte == 0);
    return 0;
}
