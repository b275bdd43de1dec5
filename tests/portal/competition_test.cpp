// The competitions: days and ISO weeks in Europe/Stockholm across both changes of
// daylight saving time and a year's end; the dates an operator may type; and, on SQLite
// and PostgreSQL, the winners of a small period (ties to the earlier score, unranked and
// out-of-period scores ignored, an empty day, a week cut at the period's ends), the bonus
// standings and the home page's lists.
#include "portal/competition.h"
#include "portal/server.h"
#include "portal_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ctime>
#include <limits>
#include <sstream>

namespace {

// "2026-03-28 23:00:00" read as UTC.
std::int64_t utc(const char* text) {
    std::tm parts{};
    EXPECT_TRUE(strptime(text, "%Y-%m-%d %H:%M:%S", &parts)) << text;
    return static_cast<std::int64_t>(timegm(&parts));
}

class Stockholm : public testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(useTimeZone("Europe/Stockholm")); }
};

TEST_F(Stockholm, DaysAndWeeksRunFromLocalMidnightAcrossDaylightSavingChanges) {
    struct Case {
        const char* at;
        const char* local;
        const char* dayFrom;
        const char* dayUntil;
        const char* week;
        const char* weekFrom;
        const char* weekUntil;
    };
    const Case cases[] = {
        // Spring: Sunday 29 March has 23 hours, its week 167.
        {"2026-03-28 22:59:59", "2026-03-28T23:59:59+01:00", "2026-03-27 23:00:00",
         "2026-03-28 23:00:00", "2026-W13", "2026-03-22 23:00:00", "2026-03-29 22:00:00"},
        {"2026-03-28 23:00:00", "2026-03-29T00:00:00+01:00", "2026-03-28 23:00:00",
         "2026-03-29 22:00:00", "2026-W13", "2026-03-22 23:00:00", "2026-03-29 22:00:00"},
        {"2026-03-29 01:00:00", "2026-03-29T03:00:00+02:00", "2026-03-28 23:00:00",
         "2026-03-29 22:00:00", "2026-W13", "2026-03-22 23:00:00", "2026-03-29 22:00:00"},
        {"2026-03-29 22:00:00", "2026-03-30T00:00:00+02:00", "2026-03-29 22:00:00",
         "2026-03-30 22:00:00", "2026-W14", "2026-03-29 22:00:00", "2026-04-05 22:00:00"},
        // Autumn: Sunday 25 October has 25 hours (02:30 comes twice), its week 169.
        {"2026-10-25 00:30:00", "2026-10-25T02:30:00+02:00", "2026-10-24 22:00:00",
         "2026-10-25 23:00:00", "2026-W43", "2026-10-18 22:00:00", "2026-10-25 23:00:00"},
        {"2026-10-25 01:30:00", "2026-10-25T02:30:00+01:00", "2026-10-24 22:00:00",
         "2026-10-25 23:00:00", "2026-W43", "2026-10-18 22:00:00", "2026-10-25 23:00:00"},
        {"2026-10-25 23:00:00", "2026-10-26T00:00:00+01:00", "2026-10-25 23:00:00",
         "2026-10-26 23:00:00", "2026-W44", "2026-10-25 23:00:00", "2026-11-01 23:00:00"},
        // New Year's Day 2027 is in the 53rd week of 2026.
        {"2027-01-01 12:00:00", "2027-01-01T13:00:00+01:00", "2026-12-31 23:00:00",
         "2027-01-01 23:00:00", "2026-W53", "2026-12-27 23:00:00", "2027-01-03 23:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        const std::int64_t at = utc(c.at);
        EXPECT_EQ(localTimestamp(at), c.local);
        EXPECT_EQ(dayAround(at), (TimeSpan{utc(c.dayFrom), utc(c.dayUntil)}));
        const TimeSpan week = weekAround(at);
        EXPECT_EQ(week, (TimeSpan{utc(c.weekFrom), utc(c.weekUntil)}));
        EXPECT_EQ(isoWeekName(localDate(week.from)), c.week);
    }
}

TEST_F(Stockholm, OnlyRealDatesAndKnownZonesAreTaken) {
    for (const char* good : {"2026-02-28", "2024-02-29", "1970-01-01", "9999-12-31"}) {
        EXPECT_EQ(formatDate(parseDate(good).value()), good);
    }
    for (const char* bad : {"2026-02-29", "2026-13-01", "2026-00-10", "2026-1-01", "2026-01-1x",
                            "1969-12-31", "2026-12-07 ", "+026-01-01", "2026/01/01", ""}) {
        EXPECT_FALSE(parseDate(bad)) << bad;
    }
    for (const char* bad : {"Mars/Base", "../zoneinfo/UTC", "/etc/passwd", "Europe", ""}) {
        EXPECT_FALSE(useTimeZone(bad)) << bad;
    }
    EXPECT_EQ(activeTimeZone(), "Europe/Stockholm");
}

class CompetitionTest : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(useTimeZone("Europe/Stockholm"));
        location_ = freshDatabase(GetParam());
        if (location_.empty()) {
            GTEST_SKIP() << "no PostgreSQL here (tests/portal/run_postgres_tests.sh starts one)";
        }
        storage_ = openStorage(location_);
    }

    std::int64_t member(const std::string& nickname, std::int64_t joined = 1000,
                        const std::string& recruiter = {}) {
        std::string email = nickname + "@example.se";
        email[0] = static_cast<char>(std::tolower(email[0]));
        EXPECT_TRUE(storage_->addMember(email, nickname, "hash", joined, recruiter));
        return storage_->findMember(email).value().id;
    }

    void score(std::int64_t who, std::int32_t points, const char* at, bool ranked = true) {
        storage_->recordScore(scoreOf(who, points, utc(at), ranked));
    }

    std::string location_;
    std::unique_ptr<Storage> storage_;
};

TEST_P(CompetitionTest, WinnersOfEachDayAndWeekAndTheBonusStandings) {
    const auto anna = member("Anna"), bo = member("Bo"), cia = member("Cia");
    score(anna, 9999, "2026-03-26 12:00:00");      // before the period
    score(anna, 500, "2026-03-27 09:00:00");       // Friday; ties with Bo, earlier
    score(bo, 500, "2026-03-27 10:00:00");         //
    score(cia, 900, "2026-03-27 11:00:00", false); // unranked
    score(bo, 300, "2026-03-28 23:30:00");         // Sunday 00:30 CET
    score(cia, 200, "2026-03-29 21:30:00");        // Sunday 23:30 CEST
    score(cia, 700, "2026-03-29 22:10:00");        // Monday 00:10 CEST
    score(bo, 8000, "2026-03-30 22:00:00");        // Tuesday, after the period
    member("Dan", utc("2026-03-27 12:00:00"), "ANNA@example.se");
    member("Eve", utc("2026-03-29 21:00:00"), "anna@example.se");
    member("Fia", utc("2026-03-28 12:00:00"), "bo@example.se");
    member("Kim", utc("2026-03-28 13:00:00"), "cia@example.se");  // ties with Bo, later
    member("Gus", utc("2026-03-20 12:00:00"), "anna@example.se"); // before the period
    member("Jon", utc("2026-03-30 22:30:00"), "bo@example.se");   // after it
    member("Hal", utc("2026-03-28 12:00:00"), "hal@example.se");  // names himself
    member("Ivy", utc("2026-03-28 12:00:00"), "nobody@example.se");

    saveCompetitionPeriod(*storage_, CompetitionPeriod{{2026, 3, 27}, {2026, 3, 30}});
    const auto period = loadCompetitionSettings(*storage_).period.value();
    std::ostringstream out;
    printWinners(out, period, "Europe/Stockholm", competitionResults(*storage_, period));
    EXPECT_EQ(out.str(), "period\t2026-03-27\t2026-03-30\tEurope/Stockholm\n"
                         "day\t2026-03-27\t500\t2026-03-27T10:00:00+01:00\tanna@example.se\tAnna\n"
                         "day\t2026-03-28\tnone\n"
                         "day\t2026-03-29\t300\t2026-03-29T00:30:00+01:00\tbo@example.se\tBo\n"
                         "day\t2026-03-30\t700\t2026-03-30T00:10:00+02:00\tcia@example.se\tCia\n"
                         "week\t2026-W13\t2026-03-27\t2026-03-29\t500\t2026-03-27T10:00:00+01:00\t"
                         "anna@example.se\tAnna\n"
                         "week\t2026-W14\t2026-03-30\t2026-03-30\t700\t2026-03-30T00:10:00+02:00\t"
                         "cia@example.se\tCia\n"
                         "bonus\t1\t2\tanna@example.se\tAnna\n"
                         "bonus\t2\t1\tbo@example.se\tBo\n"
                         "bonus\t3\t1\tcia@example.se\tCia\n");

    const TimeSpan whole = period.span();
    EXPECT_EQ(storage_->recruits(anna, whole.from, whole.until).size(), 2u);
    EXPECT_EQ(storage_->recruits(anna).size(), 3u);
    EXPECT_TRUE(storage_->recruits(storage_->findMember("hal@example.se")->id).empty());

    // On Monday the day's list holds Monday's score alone, the week's list starts anew.
    const std::string page = homePage(*storage_, utc("2026-03-30 08:00:00"));
    const auto dayList = page.find("Dagens topplista"), weekList = page.find("Veckans topplista"),
               allTime = page.find("alla tider");
    ASSERT_LT(dayList, weekList);
    ASSERT_LT(weekList, allTime);
    const std::string day = page.substr(dayList, weekList - dayList);
    const std::string week = page.substr(weekList, allTime - weekList);
    EXPECT_NE(day.find("<td>Cia</td><td>700</td><td>00:10</td>"), std::string::npos) << day;
    EXPECT_EQ(day.find("Bo"), std::string::npos) << day;
    EXPECT_EQ(week.find("Anna"), std::string::npos) << week;
    EXPECT_NE(page.find("<td>Anna</td><td>9999</td><td>2026-03-26</td>"), std::string::npos);
    EXPECT_NE(page.find("27 mars \xE2\x80\x93 30 mars 2026"), std::string::npos);
    EXPECT_EQ(page.find('@'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Engines, CompetitionTest,
                         testing::Values(std::string("sqlite"), std::string("postgres")));

} // namespace
