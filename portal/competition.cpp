// The competitions; see competition.h.
#include "portal/competition.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace {

constexpr const char* periodSetting = "competition_period";
constexpr const char* zoneSetting = "time_zone";

std::chrono::sys_days daysOf(LocalDate d) {
    return std::chrono::year_month_day{std::chrono::year{d.year},
                                       std::chrono::month{static_cast<unsigned>(d.month)},
                                       std::chrono::day{static_cast<unsigned>(d.day)}};
}

LocalDate dateOf(std::chrono::sys_days days) {
    const std::chrono::year_month_day ymd{days};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

std::tm localParts(std::int64_t at) {
    const std::time_t t = static_cast<std::time_t>(at);
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

std::string zoneFolder() {
    const char* dir = std::getenv("TZDIR");
    return dir && *dir == '/' ? dir : "/usr/share/zoneinfo";
}

// Control characters would break the listing's lines and fields.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

void printWinner(std::ostream& out, const std::optional<RankedScore>& winner) {
    if (!winner) {
        out << "\tnone\n";
        return;
    }
    out << '\t' << winner->score << '\t' << localTimestamp(winner->at) << '\t'
        << printable(winner->email) << '\t' << printable(winner->nickname) << '\n';
}

} // namespace

bool knownTimeZone(std::string_view name) {
    // A name is a relative path of the zone folder made of tzdata's characters; a file
    // there is a zone when it begins with the TZif magic.
    if (name.empty() || name.size() > 64 || name.front() == '/' ||
        name.find("..") != std::string_view::npos ||
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                               "0123456789/_+-") != std::string_view::npos) {
        return false;
    }
    std::ifstream file(zoneFolder() + "/" + std::string(name), std::ios::binary);
    char magic[4] = {};
    return file.read(magic, sizeof magic) && std::string_view(magic, 4) == "TZif";
}

bool useTimeZone(std::string_view name) {
    if (!knownTimeZone(name)) {
        return false;
    }
    setenv("TZ", (":" + std::string(name)).c_str(), 1);
    tzset();
    return true;
}

std::string activeTimeZone() {
    const char* tz = std::getenv("TZ");
    if (!tz) {
        return "";
    }
    return tz[0] == ':' ? tz + 1 : tz;
}

std::optional<LocalDate> parseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    LocalDate d;
    const auto field = [&](std::size_t at, std::size_t length, int& value) {
        const char* first = text.data() + at;
        const auto [end, error] = std::from_chars(first, first + length, value);
        return error == std::errc() && end == first + length &&
               std::isdigit(static_cast<unsigned char>(*first));
    };
    if (!field(0, 4, d.year) || !field(5, 2, d.month) || !field(8, 2, d.day) || d.year < 1970 ||
        d.month < 1 || d.day < 1 ||
        !std::chrono::year_month_day{std::chrono::year{d.year},
                                     std::chrono::month{static_cast<unsigned>(d.month)},
                                     std::chrono::day{static_cast<unsigned>(d.day)}}
             .ok()) {
        return std::nullopt;
    }
    return d;
}

std::string formatDate(LocalDate d) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

LocalDate addDays(LocalDate date, int days) {
    return dateOf(daysOf(date) + std::chrono::days{days});
}

int isoWeekday(LocalDate date) {
    return static_cast<int>(std::chrono::weekday{daysOf(date)}.iso_encoding());
}

std::string isoWeekName(LocalDate date) {
    // The ISO week belongs to the year of its Thursday.
    const LocalDate thursday = addDays(date, 4 - isoWeekday(date));
    const LocalDate january1{thursday.year, 1, 1};
    const int week = static_cast<int>((daysOf(thursday) - daysOf(january1)).count()) / 7 + 1;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-W%02d", thursday.year, week);
    return text;
}

LocalDate localDate(std::int64_t at) {
    const std::tm parts = localParts(at);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

std::int64_t startOfDay(LocalDate date) {
    // The first instant of the date: where midnight falls into a daylight saving gap,
    // mktime moves it to the end of the gap.
    std::tm parts{};
    parts.tm_year = date.year - 1900;
    parts.tm_mon = date.month - 1;
    parts.tm_mday = date.day;
    parts.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&parts));
}

TimeSpan dayAround(std::int64_t at) {
    const LocalDate date = localDate(at);
    return {startOfDay(date), startOfDay(addDays(date, 1))};
}

TimeSpan weekAround(std::int64_t at) {
    const LocalDate date = localDate(at);
    const LocalDate monday = addDays(date, 1 - isoWeekday(date));
    return {startOfDay(monday), startOfDay(addDays(monday, 7))};
}

std::string localTimestamp(std::int64_t at) {
    const std::tm parts = localParts(at);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &parts);
    std::string out = text;
    if (out.size() >= 5) {
        out.insert(out.size() - 2, ":"); // +0200 -> +02:00
    }
    return out;
}

TimeSpan CompetitionPeriod::span() const {
    return {startOfDay(first), startOfDay(addDays(last, 1))};
}

CompetitionSettings loadCompetitionSettings(Storage& storage) {
    CompetitionSettings settings;
    if (const auto zone = storage.setting(zoneSetting)) {
        settings.timeZone = *zone;
    }
    if (const auto stored = storage.setting(periodSetting); stored && stored->size() == 21) {
        const auto first = parseDate(std::string_view(*stored).substr(0, 10));
        const auto last = parseDate(std::string_view(*stored).substr(11));
        if (first && last && *first <= *last) {
            settings.period = CompetitionPeriod{*first, *last};
        }
    }
    return settings;
}

void saveCompetitionPeriod(Storage& storage, const std::optional<CompetitionPeriod>& period) {
    if (!period) {
        storage.removeSetting(periodSetting);
        return;
    }
    storage.setSetting(periodSetting, formatDate(period->first) + " " + formatDate(period->last));
}

void saveTimeZone(Storage& storage, const std::string& zone) {
    storage.setSetting(zoneSetting, zone);
}

CompetitionResults competitionResults(Storage& storage, const CompetitionPeriod& period) {
    CompetitionResults results;
    for (LocalDate d = period.first; d <= period.last; d = addDays(d, 1)) {
        results.days.push_back(
            {formatDate(d), d, d, storage.bestScore(startOfDay(d), startOfDay(addDays(d, 1)))});
    }
    // Each ISO week that meets the period, cut at the period's first and last day.
    for (LocalDate monday = addDays(period.first, 1 - isoWeekday(period.first));
         monday <= period.last; monday = addDays(monday, 7)) {
        const LocalDate first = std::max(monday, period.first);
        const LocalDate last = std::min(addDays(monday, 6), period.last);
        results.weeks.push_back(
            {isoWeekName(monday), first, last,
             storage.bestScore(startOfDay(first), startOfDay(addDays(last, 1)))});
    }
    const TimeSpan whole = period.span();
    results.bonus = storage.recruitStandings(whole.from, whole.until);
    return results;
}

void printWinners(std::ostream& out, const CompetitionPeriod& period, std::string_view zone,
                  const CompetitionResults& results) {
    out << "period\t" << formatDate(period.first) << '\t' << formatDate(period.last) << '\t' << zone
        << '\n';
    for (const RoundResult& day : results.days) {
        out << "day\t" << day.name;
        printWinner(out, day.winner);
    }
    for (const RoundResult& week : results.weeks) {
        out << "week\t" << week.name << '\t' << formatDate(week.first) << '\t'
            << formatDate(week.last);
        printWinner(out, week.winner);
    }
    int place = 0;
    for (const RecruiterPoints& r : results.bonus) {
        out << "bonus\t" << ++place << '\t' << r.points << '\t' << printable(r.email) << '\t'
            << printable(r.nickname) << '\n';
    }
}
