#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "MessageBoxRecorder.h"
#include "errors/Exceptions.h"
#include "errors/SocketErrorText.h"
#include "platform/Sockets.h"
#include "platform/SystemErrors.h"
#include "platform/WinsockErrors.h"


TEST(DescribeSocketError, TableTextsEndInALineBreak) {
    EXPECT_STREQ(describeSocketError(wsa::kAddressInUse), "Port Number already in use\n");
    EXPECT_STREQ(describeSocketError(wsa::kBadAddress),
                 "WSAEFAULT: Don't know what it means but it happens sometimes\n");
    EXPECT_STREQ(describeSocketError(wsa::kAddressNotAvailable), "Address not reacheable\n");
    EXPECT_STREQ(describeSocketError(wsa::kHostNotFound), "Could not locate this computer name\n");
    EXPECT_STREQ(describeSocketError(wsa::kTryAgain), "Temporary Error, Try Again\n");
}

TEST(DescribeSocketError, WrongProtocolCodesShareTheirText) {
    std::string prototype = describeSocketError(wsa::kWrongProtocolType);
    EXPECT_EQ(prototype, describeSocketError(wsa::kProtocolNotSupported));
    EXPECT_EQ(prototype, "Wrong Protocol for this socket\n");
}

TEST(DescribeSocketError, CodesOutsideTheTableFallBackToRuntimeTexts) {
    EXPECT_STREQ(describeSocketError(0), "No error\n");
    EXPECT_STREQ(describeSocketError(22), "Invalid argument\n");
    EXPECT_STREQ(describeSocketError(42), "Illegal byte sequence\n");
    EXPECT_STREQ(describeSocketError(43), "Unknown error\n");
    EXPECT_STREQ(describeSocketError(-1), "Unknown error\n");
    EXPECT_STREQ(describeSocketError(wsa::kNotASocket), "Unknown error\n");  // not in the table
    EXPECT_STREQ(describeSocketError(wsa::kNoData), "Unknown error\n");
}

TEST(SocketException, CodeZeroTakesTheSocketLastError) {
    platform::sockets::setLastError(wsa::kAddressInUse);
    CSocketException exc(0, "binding");
    EXPECT_EQ(exc.code, wsa::kAddressInUse);
    EXPECT_STREQ(exc.message, "Error: 10048 binding\nPort Number already in use\n");
}

TEST(SocketException, GivenCodeWinsAndFormatsItsArguments) {
    platform::sockets::setLastError(wsa::kAddressInUse);
    CSocketException exc(wsa::kMessageTooLong, "attempting to receive %d data", 256);
    EXPECT_EQ(exc.code, wsa::kMessageTooLong);
    EXPECT_STREQ(exc.message, "Error: 10040 attempting to receive 256 data\nMessage too large\n");
}

TEST(SocketException, LongTextsAreCutInsideTheMessage) {
    std::string longText(400, 'x');
    CSocketException exc(wsa::kAddressInUse, "%s", longText.c_str());
    EXPECT_EQ(std::strlen(exc.message), 127u);
    EXPECT_EQ(std::string(exc.message).rfind("Error: 10048 xxx", 0), 0u);
}

TEST(Exc, CodeZeroTakesTheSystemErrorAndItsDescription) {
    errno = EACCES;
    CExc exc(0, "opening %s", "file");
    EXPECT_EQ(exc.code, EACCES);
    std::string expected = "Error " + std::to_string(EACCES) + " " + platform::systemErrorText(EACCES) + "opening file";
    EXPECT_EQ(std::string(exc.message), expected.substr(0, 127));
}

TEST(Exc, CodeAloneLeavesTheMessageEmpty) {
    CExc given(7);
    EXPECT_EQ(given.code, 7);
    EXPECT_STREQ(given.message, "");
    errno = ENOENT;
    CExc fromSystem(0);
    EXPECT_EQ(fromSystem.code, ENOENT);
}

TEST(Exc, NonZeroCodeFormatsWithColon) {
    CExc exc(-1, "TString::pContents == 0");
    EXPECT_STREQ(exc.message, "Error: -1 TString::pContents == 0");
}

TEST(Exc, MessageNeverOverflows) {
    std::string longText(1000, 'y');
    CExc exc(1, "%s", longText.c_str());
    EXPECT_EQ(std::strlen(exc.message), 127u);
}

TEST(Exc, ShowUsesAMessageBoxWithOk) {
    MessageBoxRecorder recorder;
    CExc(3, "broken").show();
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].text, "Error: 3 broken");
    EXPECT_EQ(recorder.shown()[0].caption, "Message");
    EXPECT_EQ(recorder.shown()[0].buttons, platform::kButtonsOk);
}

TEST(Exc, ACopyAsCExcShowsOnlyTheMessage) {
    MessageBoxRecorder recorder;
    platform::sockets::setLastError(wsa::kAddressInUse);
    CSocketException original(0, "binding");
    CExc copy = original;
    copy.show();
    original.show();
    ASSERT_EQ(recorder.shown().size(), 2u);
    EXPECT_EQ(recorder.shown()[0].text, "Error: 10048 binding\nPort Number already in use\n");
    // The socket exception's own show adds the current error's description.
    EXPECT_EQ(recorder.shown()[1].text, "Error: 10048 binding\nPort Number already in use\n\nPort Number already in use\n\n");
}

TEST(RunShowingFailure, ShowsTheFailureAsAPlainExceptionAndGoesOn) {
    MessageBoxRecorder recorder;
    platform::sockets::setLastError(wsa::kAddressInUse);
    runShowingFailure([] { throw CSocketException(0, "binding"); });
    runShowingFailure([] { throw CExc(9, "window failed"); });
    runShowingFailure([] {});
    ASSERT_EQ(recorder.shown().size(), 2u);
    // Shown by its CExc part: the message alone, without the current error.
    EXPECT_EQ(recorder.shown()[0].text, "Error: 10048 binding\nPort Number already in use\n");
    EXPECT_EQ(recorder.shown()[0].caption, "Message");
    EXPECT_EQ(recorder.shown()[1].text, "Error: 9 window failed");
    EXPECT_THROW(runShowingFailure([] { throw 5; }), int) << "nothing but CExc is caught";
}

TEST(RetryPrompt, ShowsMessageContextAndCurrentErrorAndReturnsTheButton) {
    MessageBoxRecorder recorder(platform::kResultRetry);
    platform::sockets::setLastError(wsa::kAddressInUse);
    CSocketException exc(0, "binding");
    EXPECT_EQ(showRetryPrompt("", exc), platform::kResultRetry);
    ASSERT_EQ(recorder.shown().size(), 1u);
    EXPECT_EQ(recorder.shown()[0].text,
              "Error: 10048 binding\nPort Number already in use\n\n\nPort Number already in use\n\n"
              "Abort, Retry, Ignore (A,R,I) ");
    EXPECT_EQ(recorder.shown()[0].caption, "Error");
    EXPECT_EQ(recorder.shown()[0].buttons, platform::kButtonsAbortRetryIgnore);
}
