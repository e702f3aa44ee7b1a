#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "net/NtpStyle.h"
#include "net/Rfc868Style.h"
#include "ui/LocalZoneTest.h"
#include "ui/SettingsRules.h"

namespace {

// Local time is half an hour off UTC, so UTC shown as local would fail.
class LastResponseText : public LocalZoneTest {
protected:
    void SetUp() override { useZone("IST-5:30"); }
};

constexpr std::uint32_t k2000Utc = 946684800;  // 2000-01-01 00:00:00 UTC

}  // namespace

TEST_F(LastResponseText, NeverBeforeTheFirstReply) { EXPECT_EQ(lastResponseText(0, 17), "Never"); }

TEST_F(LastResponseText, LocalTimeThenTheCorrectionWithItsPlural) {
    EXPECT_EQ(lastResponseText(k2000Utc, 0), " 05:30:00 AM  Jan 01, 2000\r\n Correction: 0 Seconds");
    EXPECT_EQ(lastResponseText(k2000Utc + 12 * 3600, 2), " 05:30:00 PM  Jan 01, 2000\r\n Correction: 2 Seconds");
    EXPECT_EQ(lastResponseText(k2000Utc, -1), " 05:30:00 AM  Jan 01, 2000\r\n Correction: -1 Second");
    EXPECT_EQ(lastResponseText(k2000Utc, 1), " 05:30:00 AM  Jan 01, 2000\r\n Correction: 1 Second");
    EXPECT_EQ(lastResponseText(k2000Utc, -2147483647 - 1),
              " 05:30:00 AM  Jan 01, 2000\r\n Correction: -2147483648 Seconds");
    EXPECT_EQ(lastResponseText(k2000Utc, 2, "time.cloudflare.com"),
              " 05:30:00 AM  Jan 01, 2000\r\n Correction: 2 Seconds\r\n Authenticated by NTS (time.cloudflare.com)");
    EXPECT_EQ(lastResponseText(0, 2, "time.cloudflare.com"), "Never") << "nothing to vouch for";
}

TEST_F(LastResponseText, TimesPast2038ReadAsUnsigned) {
    // 0x80000000 is 2038-01-19 03:14:08 UTC; as a signed count it would be 1901.
    EXPECT_EQ(lastResponseText(0x80000000u, 3), " 08:44:08 AM  Jan 19, 2038\r\n Correction: 3 Seconds");
    EXPECT_EQ(lastResponseText(0xFFFFFFFFu, 3), " 11:58:15 AM  Feb 07, 2106\r\n Correction: 3 Seconds");
}

TEST(PollPeriodClamp, NothingOrZeroBecomesOneAndTooMuchBecomes1440) {
    struct Case {
        const char* typed;
        const char* becomes;  // null: stays as typed
    };
    const Case cases[] = {
        {"", "1"},          {"0", "1"},           {"abc", "1"},         {"-0", "1"},      {"  0012", nullptr},
        {"1", nullptr},     {"1440", nullptr},    {"1441", "1440"},     {"2000", "1440"}, {"-5", "1440"},
        {"12abc", nullptr}, {"99999999999999999999", "1440"}, {"+7", nullptr}, {"-", "1"}, {" 12 ", nullptr},
    };
    for (const Case& c : cases) {
        auto clamped = clampedPollPeriodText(c.typed);
        if (c.becomes == nullptr)
            EXPECT_FALSE(clamped.has_value()) << '"' << c.typed << "\" became " << *clamped;
        else
            EXPECT_EQ(clamped.value_or("(unchanged)"), c.becomes) << '"' << c.typed << '"';
    }
}

TEST(ServerList, SplitsAtEveryBarAndSkipsEmptyEntries) {
    using Items = std::vector<std::string>;
    EXPECT_EQ(splitServerList(""), Items{});
    EXPECT_EQ(splitServerList("|||"), Items{});
    EXPECT_EQ(splitServerList("a|b"), (Items{"a", "b"}));
    EXPECT_EQ(splitServerList("|a||b|"), (Items{"a", "b"}));
}

TEST(ServerList, ALongListIsReadWhole) {
    std::string list;
    for (int i = 0; i < 300; ++i) list += "server" + std::to_string(i) + ".example|";
    ASSERT_GT(list.size(), 1023u);
    std::vector<std::string> items = splitServerList(list);
    ASSERT_EQ(items.size(), 300u);
    EXPECT_EQ(items.back(), "server299.example");
}

TEST(ServerList, RebuildsFromTheLastItemToTheFirstEachFollowedByABar) {
    EXPECT_EQ(rebuildServerList({"a.org", "b.org", "c.org"}, "b.org"), "c.org|b.org|a.org|");
    EXPECT_EQ(rebuildServerList({}, ""), "");
}

TEST(ServerList, AppendsTheServerOnlyWhenNoPartOfTheListHoldsIt) {
    EXPECT_EQ(rebuildServerList({"a.org", "b.org"}, "new.net"), "b.org|a.org|new.net|");
    // A substring anywhere counts, even across entries.
    EXPECT_EQ(rebuildServerList({"time.a.org"}, "a.org"), "time.a.org|");
    EXPECT_EQ(rebuildServerList({"b", "a"}, "a|b"), "a|b|");
    EXPECT_EQ(rebuildServerList({"a.org"}, ""), "a.org|");
}

TEST(ServerList, ALongListSurvivesOpeningAndOk) {
    std::string list;
    for (int i = 0; i < 300; ++i) list += "server" + std::to_string(i) + ".example|";
    std::vector<std::string> items = splitServerList(list);
    std::string stored = rebuildServerList(items, "server7.example");
    EXPECT_EQ(splitServerList(stored).size(), 300u);
    EXPECT_EQ(stored.size(), list.size());
}

TEST(RefusedSettingNotice, OnlyForALackOfTheRightWhileTheOptionIsOn) {
    using platform::ClockSetting;
    EXPECT_TRUE(showsRefusedSettingNotice(true, ClockSetting::NotAllowed));
    EXPECT_FALSE(showsRefusedSettingNotice(false, ClockSetting::NotAllowed)) << "the option was switched off since";
    for (ClockSetting other : {ClockSetting::NotTried, ClockSetting::Done, ClockSetting::Failed})
        EXPECT_FALSE(showsRefusedSettingNotice(true, other)) << static_cast<int>(other);
}

TEST(RequestNotice, NoAnswerAfter10SecondsAndANameNotFoundAtOnce) {
    RequestRecord latest;
    EXPECT_EQ(requestNotice(latest, 1000000).kind, RequestNoticeKind::None) << "no request yet";
    latest.serial = 3;
    latest.style = &rfc868Style();
    latest.startedMs = 50000;
    latest.outcome = RequestOutcome::Sent;
    EXPECT_EQ(requestNotice(latest, 50000 + kNoAnswerNoticeMs - 1).kind, RequestNoticeKind::None);
    RequestNotice time = requestNotice(latest, 50000 + kNoAnswerNoticeMs);
    EXPECT_EQ(time.kind, RequestNoticeKind::NoAnswer);
    EXPECT_EQ(time.advice, NoAnswerAdvice::TryNtp) << "the style decides the words";
    latest.style = &ntpStyle();
    EXPECT_EQ(requestNotice(latest, 90000).advice, NoAnswerAdvice::CheckConnection);
    latest.outcome = RequestOutcome::SendFailed;
    EXPECT_EQ(requestNotice(latest, 90000).kind, RequestNoticeKind::NoAnswer) << "nothing went out: no answer";
    latest.answered = true;
    EXPECT_EQ(requestNotice(latest, 90000).kind, RequestNoticeKind::None);

    latest.answered = false;
    latest.outcome = RequestOutcome::NameNotFound;
    EXPECT_EQ(requestNotice(latest, 50001).kind, RequestNoticeKind::Failure) << "no need to wait";
    RequestNotice notFound = requestNotice(latest, 90000);
    EXPECT_EQ(notFound.kind, RequestNoticeKind::Failure) << "not a silent server";
    EXPECT_EQ(notFound.failure, RequestOutcome::NameNotFound);
    EXPECT_EQ(requestFailureText(RequestOutcome::NameNotFound, "time.nist.gv", 11001),
              "Windows found no computer named \"time.nist.gv\" (error 11001). Check the server's name for a "
              "typing slip, or choose another server.");
}

TEST(RequestNotice, AFailedKeyExchangeIsToldAtOnceAtTheServerForItsCertificateElseAtThePort) {
    RequestRecord latest;
    latest.serial = 4;
    latest.style = &ntpStyle();
    latest.startedMs = 50000;
    const std::pair<RequestOutcome, NoticePlace> cases[] = {
        {RequestOutcome::NoKeyExchange, NoticePlace::Port},
        {RequestOutcome::CertificateUntrusted, NoticePlace::Server},
        {RequestOutcome::CertificateName, NoticePlace::Server},
        {RequestOutcome::CertificateDates, NoticePlace::Server},
        {RequestOutcome::KeyExchangeRefused, NoticePlace::Port},
        {RequestOutcome::KeyExchangeFailed, NoticePlace::Port},
    };
    std::vector<std::string> texts;
    for (const auto& [outcome, place] : cases) {
        latest.outcome = outcome;
        RequestNotice notice = requestNotice(latest, 50001);
        EXPECT_EQ(notice.kind, RequestNoticeKind::Failure) << "a failure of its own, not a silent server";
        EXPECT_EQ(notice.failure, outcome);
        EXPECT_EQ(notice.place, place) << static_cast<int>(outcome);
        texts.push_back(requestFailureText(notice.failure, "nts.example", 10061));
        EXPECT_NE(texts.back().find("\"nts.example\""), std::string::npos) << texts.back();
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end()) << "each failure has its own words";
    EXPECT_NE(requestFailureText(RequestOutcome::NoKeyExchange, "a", 10061).find("refused the connection"),
              std::string::npos);
    EXPECT_NE(requestFailureText(RequestOutcome::NoKeyExchange, "a", 10060).find("within 10 seconds (error 10060)"),
              std::string::npos);
    // The date: the user is told to set it once, and how.
    std::string dates = requestFailureText(RequestOutcome::CertificateDates, "a", 0);
    EXPECT_NE(dates.find("Set Clock"), std::string::npos);
    EXPECT_NE(dates.find("\"ntp\""), std::string::npos);
}

TEST(TimeServiceAsk, OnlyAfterARefusalWithACorrectionAndOnceAMinute) {
    using platform::ClockSetting;
    EXPECT_TRUE(asksTimeService(ClockSetting::NotAllowed, 3, std::nullopt, 1000));
    EXPECT_TRUE(asksTimeService(ClockSetting::NotAllowed, -1, std::nullopt, 1000));
    EXPECT_FALSE(asksTimeService(ClockSetting::NotAllowed, 0, std::nullopt, 1000)) << "the service has set it";
    for (ClockSetting other : {ClockSetting::NotTried, ClockSetting::Done, ClockSetting::Failed})
        EXPECT_FALSE(asksTimeService(other, 3, std::nullopt, 1000));
    EXPECT_FALSE(asksTimeService(ClockSetting::NotAllowed, 3, 1000, 60999));
    EXPECT_TRUE(asksTimeService(ClockSetting::NotAllowed, 3, 1000, 61000));
}

TEST_F(LastResponseText, TheTimeServiceNoticeSaysItsServerAndItsLastResult) {
    EXPECT_EQ(timeServiceNoticeText(std::nullopt), "It has had no answer from its time server yet.");
    service::Result result{k2000Utc, "127.0.0.1:11123", 250, service::SettingOutcome::Done};
    EXPECT_EQ(timeServiceNoticeText(result),
              "It asks 127.0.0.1:11123. Last answer: 05:30:00 AM  Jan 01, 2000. The clock was 250 milliseconds slow "
              "and was set.");
    result.authenticatedBy = "time.cloudflare.com";
    EXPECT_EQ(timeServiceNoticeText(result),
              "It asks 127.0.0.1:11123. Last answer: 05:30:00 AM  Jan 01, 2000, authenticated by NTS "
              "(time.cloudflare.com). The clock was 250 milliseconds slow and was set.");
    result.authenticatedBy.clear();
    result.offsetMs = -1;
    result.setting = service::SettingOutcome::Refused;
    EXPECT_EQ(timeServiceNoticeText(result),
              "It asks 127.0.0.1:11123. Last answer: 05:30:00 AM  Jan 01, 2000. The clock was 1 millisecond fast; "
              "Windows did not allow the service to set it.");
    result.offsetMs = 0;
    result.setting = service::SettingOutcome::Done;
    EXPECT_EQ(timeServiceNoticeText(result), "It asks 127.0.0.1:11123. Last answer: 05:30:00 AM  Jan 01, 2000. "
                                             "The clock was right.");
    result.offsetMs = 54001000;
    result.setting = service::SettingOutcome::Skipped;
    EXPECT_EQ(timeServiceNoticeText(result),
              "It asks 127.0.0.1:11123. Last answer: 05:30:00 AM  Jan 01, 2000. The clock was 15 hours slow; the "
              "service does not set the clock that far (MaxStep).");
    result.offsetMs = -2300;
    result.setting = service::SettingOutcome::Failed;
    EXPECT_EQ(timeServiceNoticeText(result).substr(78), " 2.3 seconds fast; setting it failed.");
    result.stopped = service::StopCause::Bind;
    result.error = 10048;
    EXPECT_EQ(timeServiceNoticeText(result), "It asks 127.0.0.1:11123. It stopped at 05:30:00 AM  Jan 01, 2000: "
                                             "binding its socket failed (error 10048).");
    result.stopped = service::StopCause::Other;
    result.error = 1359;
    EXPECT_EQ(timeServiceNoticeText(result).substr(66), "something unexpected failed (error 1359).");
}

TEST(GlanceDurationText, TheLargestUnitReachedRoundedToOneDecimalBelowTen) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {1, "1 millisecond"},        {12, "12 milliseconds"},      {999, "999 milliseconds"},
        {1000, "1 second"},          {1049, "1 second"},           {1050, "1.1 seconds"},
        {2300, "2.3 seconds"},       {9949, "9.9 seconds"},        {9950, "10 seconds"},
        {59499, "59 seconds"},       {59500, "1 minute"},          {59960, "1 minute"},
        {60000, "1 minute"},         {90000, "1.5 minutes"},       {3570000, "1 hour"},
        {3600000, "1 hour"},         {3599999, "1 hour"},          {54001000, "15 hours"},
        {86399999, "1 day"},         {86400000, "1 day"},          {1000LL * 86400000, "1000 days"},
        {9223372036854775807LL, "106751991167 days"},
    };
    for (const auto& [ms, text] : cases) EXPECT_EQ(glanceDurationText(ms), text) << ms;
}
