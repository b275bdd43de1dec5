// The portal's competitions over a period of whole days that the operator sets: the daily
// one (the best ranked score of each day), the weekly one (of each ISO week, Monday to
// Sunday) and the bonus competition (one point for every member who joined during the
// period naming the member as his recruiter). Of equal scores the earlier wins. Days and
// weeks run from midnight to midnight in the portal's time zone, so a day across a
// change of daylight saving time lasts 23 or 25 hours.
//
// The time zone is the process's local time (TZ, read from the system's tzdata): it is
// set once by useTimeZone() before any thread starts and is then only read (localtime_r
// and mktime are safe from many threads as long as nobody changes TZ).
#pragma once

#include "portal/storage.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

constexpr const char* defaultTimeZone = "Europe/Stockholm";

// True when the system's tzdata holds the zone `name` (such as "Europe/Stockholm").
bool knownTimeZone(std::string_view name);
// Makes `name` the local time of the whole process; false, and nothing changed, when the
// zone is unknown. Only before threads start.
bool useTimeZone(std::string_view name);
// The zone that useTimeZone() set, or "" for the system's own.
std::string activeTimeZone();

struct LocalDate {
    int year = 1970;
    int month = 1;
    int day = 1;
    auto operator<=>(const LocalDate&) const = default;
};

// "YYYY-MM-DD", a real date of the years 1970 to 9999; nothing otherwise.
std::optional<LocalDate> parseDate(std::string_view text);
std::string formatDate(LocalDate date);
LocalDate addDays(LocalDate date, int days);
// 1 for Monday to 7 for Sunday.
int isoWeekday(LocalDate date);
// Its ISO week, such as "2026-W53" (the year is the week's, not always the date's).
std::string isoWeekName(LocalDate date);

// [from, until) in Unix seconds.
struct TimeSpan {
    std::int64_t from = 0;
    std::int64_t until = 0;
    bool operator==(const TimeSpan&) const = default;
};

// In local time: the date of an instant, the instant a date begins, its day and its week.
LocalDate localDate(std::int64_t at);
std::int64_t startOfDay(LocalDate date);
TimeSpan dayAround(std::int64_t at);
TimeSpan weekAround(std::int64_t at);
// "2026-03-29T23:30:00+02:00"
std::string localTimestamp(std::int64_t at);

// The period's first and last day, both included.
struct CompetitionPeriod {
    LocalDate first;
    LocalDate last;
    TimeSpan span() const;
};

// The longest period the operator can set, in days.
constexpr int longestPeriodDays = 3660;

// The shared settings: the period (none until the operator sets one) and the time zone.
struct CompetitionSettings {
    std::optional<CompetitionPeriod> period;
    std::string timeZone = defaultTimeZone;
};
// Throws SqlError; a stored period that cannot be read counts as none.
CompetitionSettings loadCompetitionSettings(Storage& storage);
void saveCompetitionPeriod(Storage& storage, const std::optional<CompetitionPeriod>& period);
void saveTimeZone(Storage& storage, const std::string& zone);

// One day or one week of the period (a week cut at the period's ends) and its winner.
struct RoundResult {
    std::string name; // "2026-03-29" or "2026-W13"
    LocalDate first;
    LocalDate last;
    std::optional<RankedScore> winner;
};

struct CompetitionResults {
    std::vector<RoundResult> days;
    std::vector<RoundResult> weeks;
    std::vector<RecruiterPoints> bonus;
};

CompetitionResults competitionResults(Storage& storage, const CompetitionPeriod& period);

// The operator's listing, one record a line, fields separated by tabs, texts last:
//   period FIRST LAST ZONE
//   day DATE SCORE TIME EMAIL NICKNAME        or  day DATE none
//   week WEEK FIRST LAST SCORE TIME EMAIL NICKNAME   or  week WEEK FIRST LAST none
//   bonus PLACE POINTS EMAIL NICKNAME
// TIME as localTimestamp(); control characters in texts are printed as '?'.
void printWinners(std::ostream& out, const CompetitionPeriod& period, std::string_view zone,
                  const CompetitionResults& results);
