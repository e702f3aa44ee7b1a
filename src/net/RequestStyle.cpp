#include "net/RequestStyle.h"

#include <algorithm>

#include "errors/Exceptions.h"
#include "net/Resolve.h"
#include "errors/TextRules.h"

namespace {

constexpr int kNtpPort = 123;

}  // namespace

PreparedRequest PreparedRequest::failed(RequestOutcome outcome, int error, std::string subject) {
    PreparedRequest request;
    request.outcome = outcome;
    request.error = error;
    request.subject = std::move(subject);
    return request;
}

RequestStyle& chooseRequestStyle(const char* portText) {
    if (text::equalsIgnoringCase(portText, "ntp") || leadingNumber(portText) == kNtpPort) return ntpStyle();
    if (text::equalsIgnoringCase(portText, "nts")) return ntsStyle();
    return rfc868Style();
}

std::size_t largestAnswerOfAnyStyle() {
    return std::max({rfc868Style().largestAnswer(), ntpStyle().largestAnswer(), ntsStyle().largestAnswer()});
}

PreparedRequest resolvedRequest(const std::string& server, const std::string& portText) {
    PreparedRequest request;
    try {
        request.destination.resolve(server.c_str(), portText.c_str(), kAfInet);
    } catch (CSocketException failure) {
        return PreparedRequest::failed(RequestOutcome::NameNotFound, failure.code, hostNameOf(server.c_str()));
    }
    request.ready = true;
    return request;
}
