// The published result's text: what the service writes is what the clock
// reads, a newer service's keys are passed over, and nothing else reads as
// a result.
#include <gtest/gtest.h>

#include <string>

#include "link/ServiceResult.h"

using service::Result;
using service::SettingOutcome;

TEST(ServiceResult, FormatsFourLinesAndReadsThemBack) {
    Result result{1796169605u, "127.0.0.1:11123", -5250, SettingOutcome::Skipped};
    EXPECT_EQ(service::formatResult(result),
              "when=1796169605\nserver=127.0.0.1:11123\noffset_ms=-5250\nsetting=skipped\n");
    for (SettingOutcome setting :
         {SettingOutcome::Done, SettingOutcome::Refused, SettingOutcome::Skipped, SettingOutcome::Failed}) {
        result.setting = setting;
        std::optional<Result> back = service::parseResult(service::formatResult(result));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->setting, setting);
        EXPECT_EQ(back->when, result.when);
        EXPECT_EQ(back->server, result.server);
        EXPECT_EQ(back->offsetMs, -5250);
    }
    // In any order, at the limits of each number.
    std::optional<Result> edges = service::parseResult(
        "setting=done\noffset_ms=-9223372036854775807\nserver=a\nwhen=4294967295\n");
    ASSERT_TRUE(edges.has_value());
    EXPECT_EQ(edges->when, 4294967295u);
    EXPECT_EQ(edges->offsetMs, -9223372036854775807LL);
}

TEST(ServiceResult, AStopSaysWhatFailedAndItsErrorAndReadsBack) {
    Result stop{1796169605u, "time.example", 0, SettingOutcome::Failed, service::StopCause::Receive, 10050};
    const std::string text = "when=1796169605\nserver=time.example\noffset_ms=0\nsetting=failed\nstopped=receive\n"
                             "error=10050\n";
    EXPECT_EQ(service::formatResult(stop), text);
    std::optional<Result> back = service::parseResult(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->stopped, service::StopCause::Receive);
    EXPECT_EQ(back->error, 10050u);
    std::optional<Result> unknownCause = service::parseResult(
        "when=1\nserver=s\noffset_ms=0\nsetting=failed\nstopped=tls\nerror=4294967295\n");
    ASSERT_TRUE(unknownCause.has_value()) << "a newer service's cause is still a stop";
    EXPECT_EQ(unknownCause->stopped, service::StopCause::Other);
    EXPECT_EQ(unknownCause->error, 4294967295u);
    EXPECT_EQ(service::parseResult("when=1\nserver=s\noffset_ms=0\nsetting=done\n")->stopped,
              service::StopCause::None);
}

TEST(ServiceResult, AnAuthenticatedAnswerSaysByWhomAndAnOlderReaderStillReadsIt) {
    Result result{1796169605u, "time.cloudflare.com", 12, SettingOutcome::Done};
    result.authenticatedBy = "time.cloudflare.com";
    std::string text = service::formatResult(result);
    EXPECT_EQ(text, "when=1796169605\nserver=time.cloudflare.com\noffset_ms=12\nsetting=done\n"
                    "authenticated=time.cloudflare.com\n");
    std::optional<Result> back = service::parseResult(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->authenticatedBy, "time.cloudflare.com");
    EXPECT_TRUE(service::parseResult("when=1\nserver=s\noffset_ms=0\nsetting=done\n")->authenticatedBy.empty());
    EXPECT_FALSE(service::parseResult(text + "authenticated=again\n")) << "a known key twice";
    EXPECT_FALSE(service::parseResult("when=1\nserver=s\noffset_ms=0\nsetting=done\nauthenticated=\n"))
        << "authenticated by nobody";
}

TEST(ServiceResult, KeysANewerServiceAddsArePassedOver) {
    std::optional<Result> newer = service::parseResult(
        "version=2\nwhen=7\nserver=s\nleap=none\noffset_ms=-3\nsetting=refused\nleap=x\n"
        "=\nnote=a=b\n");
    ASSERT_TRUE(newer.has_value());
    EXPECT_EQ(newer->when, 7u);
    EXPECT_EQ(newer->offsetMs, -3);
    EXPECT_EQ(newer->setting, SettingOutcome::Refused);
}

TEST(ServiceResult, AnythingElseIsNoResult) {
    const std::string good = "when=1\nserver=s\noffset_ms=0\nsetting=done\n";
    ASSERT_TRUE(service::parseResult(good).has_value());
    const char* const bad[] = {
        "",
        "when=1\nserver=s\noffset_ms=0\nsetting=done",            // the last line unended
        "when=1\nserver=s\noffset_ms=0\n",                         // a key missing
        "when=1\nserver=s\noffset_ms=0\nsetting=done\nwhen=1\n",   // twice
        "when=1\nserver=s\noffset_ms=0\nsetting=done\nextra\n",     // a line without '='
        "when=1\nserver=s\noffset_ms=0\nsetting=done\nsetting=done\n",
        "when=1\nserver=s\noffset_ms=0\nsetting=failed\nstopped=\nerror=1\n",
        "when=1\nserver=s\noffset_ms=0\nsetting=failed\nstopped=bind\nerror=-1\n",
        "when=1\nserver=s\noffset_ms=0\nsetting=failed\nstopped=bind\nerror=4294967296\n",
        "when=1\nserver=s\noffset_ms=0\nsetting=failed\nerror=1\nerror=1\n",
        "when=1\nserver=s\noffset_ms=0\nkind=done\n",
        "when=1\nserver=s\noffset_ms=0\nsetting=Done\n",
        "when=4294967296\nserver=s\noffset_ms=0\nsetting=done\n",
        "when=+1\nserver=s\noffset_ms=0\nsetting=done\n",
        "when= 1\nserver=s\noffset_ms=0\nsetting=done\n",
        "when=\nserver=s\noffset_ms=0\nsetting=done\n",
        "when=1\nserver=s\noffset_ms=9223372036854775808\nsetting=done\n",
        "when=1\nserver=s\noffset_ms=-\nsetting=done\n",
        "when=1\nserver=s\noffset_ms=1.5\nsetting=done\n",
        "when=1\nserver=\noffset_ms=0\nsetting=done\n",
        "when=1\nserver=s\tt\noffset_ms=0\nsetting=done\n",
        "when=1\nserver=s\roffset_ms=0\nsetting=done\n",
        "when=1\nservers\noffset_ms=0\nsetting=done\n",
    };
    for (const char* text : bad) EXPECT_FALSE(service::parseResult(text).has_value()) << text;
    std::string longest = "when=1\nserver=" + std::string(127, 'a') + "\noffset_ms=0\nsetting=done\n";
    EXPECT_TRUE(service::parseResult(longest).has_value());
    std::string tooLong = "when=1\nserver=" + std::string(128, 'a') + "\noffset_ms=0\nsetting=done\n";
    EXPECT_FALSE(service::parseResult(tooLong).has_value());
}
