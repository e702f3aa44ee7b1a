// The published result's text: what the service writes is what the clock
// reads, and nothing else reads as a result.
#include <gtest/gtest.h>

#include <string>

#include "service/ServiceResult.h"

using service::Result;
using service::Setting;

TEST(ServiceResult, FormatsFourLinesAndReadsThemBack) {
    Result result{1796169605u, "127.0.0.1:11123", -5250, Setting::Skipped};
    EXPECT_EQ(service::formatResult(result),
              "when=1796169605\nserver=127.0.0.1:11123\noffset_ms=-5250\nsetting=skipped\n");
    for (Setting setting : {Setting::Done, Setting::Refused, Setting::Skipped, Setting::Failed}) {
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

TEST(ServiceResult, AnythingElseIsNoResult) {
    const std::string good = "when=1\nserver=s\noffset_ms=0\nsetting=done\n";
    ASSERT_TRUE(service::parseResult(good).has_value());
    const char* const bad[] = {
        "",
        "when=1\nserver=s\noffset_ms=0\nsetting=done",            // the last line unended
        "when=1\nserver=s\noffset_ms=0\n",                         // a key missing
        "when=1\nserver=s\noffset_ms=0\nsetting=done\nwhen=1\n",   // twice
        "when=1\nserver=s\noffset_ms=0\nsetting=done\nextra=1\n",  // unknown
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
