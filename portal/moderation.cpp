// The operator's moderation commands; see moderation.h.
#include "portal/moderation.h"

#include "portal/competition.h"
#include "portal/text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr const char* usage =
    "usage: pingel-portal score list [--member EMAIL] [--since YYYY-MM-DD] [--limit N]\n"
    "       pingel-portal score hide ID --reason TEXT [--by NAME]\n"
    "       pingel-portal score show ID [--by NAME]\n"
    "       pingel-portal member ban EMAIL --reason TEXT [--by NAME]\n"
    "       pingel-portal member unban EMAIL [--by NAME]\n"
    "       pingel-portal moderation log [--since YYYY-MM-DD] [--limit N]\n";

constexpr int defaultLimit = 50;
constexpr int mostLimit = 1000;
constexpr std::size_t longestReason = 200; // characters
constexpr std::size_t longestActor = 64;

// A wrong use: the command's words and options did not fit.
struct Misuse {};
// An error, said as it is.
struct Refusal {
    std::string message;
};

// Control characters would break the listing's lines and fields.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

// The command's words and its options' values; each option given once at most, as
// "--name VALUE" or "--name=VALUE", and only those it takes.
struct Parsed {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;

    std::optional<std::string> option(const std::string& name) const {
        const auto it = options.find(name);
        return it == options.end() ? std::nullopt : std::optional(it->second);
    }
};

Parsed parse(const std::vector<std::string>& args, const std::vector<std::string>& allowed) {
    Parsed parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("--")) {
            parsed.words.push_back(arg);
            continue;
        }
        const auto eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) {
            throw Refusal{"unknown option --" + name + " here"};
        }
        std::string value;
        if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw Refusal{"--" + name + " needs a value"};
        }
        if (!parsed.options.emplace(name, value).second) {
            throw Refusal{"--" + name + " is given twice"};
        }
    }
    return parsed;
}

std::int64_t scoreId(const std::string& text) {
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (text.empty() || text.size() > 18 || text[0] == '+' || text[0] == '-' ||
        error != std::errc() || end != text.data() + text.size() || id <= 0) {
        throw Refusal{"a score's ID is its decimal number, as score list prints it"};
    }
    return id;
}

std::string address(const std::string& text) {
    if (text.empty() || text.size() > 254 || text.find('@') == std::string::npos ||
        !addressCharactersAllowed(text) || !isUtf8(text)) {
        throw Refusal{"an e-mail address holds an @, at most 254 bytes and no commas, line "
                      "breaks or other control characters"};
    }
    return text;
}

// The instant a local date begins, or `otherwise` without one.
std::int64_t since(const std::optional<std::string>& text, std::int64_t otherwise) {
    if (!text) {
        return otherwise;
    }
    const auto date = parseDate(*text);
    if (!date) {
        throw Refusal{"--since takes a date as YYYY-MM-DD, e.g. 2026-12-07"};
    }
    return startOfDay(*date);
}

int limit(const std::optional<std::string>& text) {
    if (!text) {
        return defaultLimit;
    }
    int n = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), n);
    if (text->empty() || error != std::errc() || end != text->data() + text->size() || n < 1 ||
        n > mostLimit) {
        throw Refusal{"--limit takes a number from 1 to " + std::to_string(mostLimit)};
    }
    return n;
}

// Well-formed UTF-8 of 1 to `longest` characters, none of them a control character (C0,
// DEL, C1, line and paragraph separators); blanks around it dropped.
std::optional<std::string> plainText(std::string text, std::size_t longest) {
    const auto blank = [](char c) { return c == ' '; };
    while (!text.empty() && blank(text.back())) {
        text.pop_back();
    }
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    text.erase(text.begin(), first);
    const auto length = utf8Length(text);
    if (text.empty() || !length || *length > longest) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = readUtf8(text, i);
        const std::uint32_t cp = c.codePoint;
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029) {
            return std::nullopt;
        }
        i += c.length;
    }
    return text;
}

std::string reason(const std::optional<std::string>& text) {
    if (!text) {
        throw Refusal{"say why with --reason TEXT"};
    }
    auto checked = plainText(*text, longestReason);
    if (!checked) {
        throw Refusal{"a reason holds 1 to " + std::to_string(longestReason) +
                      " characters of UTF-8 text, none of them a control character"};
    }
    return *checked;
}

std::string actorOf(const Parsed& parsed, const std::string& actor) {
    auto checked = plainText(parsed.option("by").value_or(actor), longestActor);
    if (!checked) {
        throw Refusal{"the operator's name (--by, or the login name) holds 1 to " +
                      std::to_string(longestActor) +
                      " characters, none of them a control "
                      "character"};
    }
    return *checked;
}

void done(ModerationOutcome outcome, const std::string& what, const char* alreadySo) {
    if (outcome == ModerationOutcome::NotFound) {
        throw Refusal{"no " + what};
    }
    if (outcome == ModerationOutcome::AlreadySo) {
        throw Refusal{alreadySo};
    }
}

int run(Storage& storage, const std::vector<std::string>& args, const std::string& actor,
        std::int64_t now, std::ostream& out) {
    const std::string& command = args.at(0);
    const std::string sub = args.size() > 1 ? args[1] : "";
    const std::vector<std::string> rest(args.begin() + std::min<std::size_t>(args.size(), 2),
                                        args.end());
    if (command == "score" && sub == "list") {
        const Parsed p = parse(rest, {"member", "since", "limit"});
        if (!p.words.empty()) {
            throw Misuse{};
        }
        const auto member = p.option("member");
        if (member && !storage.findMember(address(*member))) {
            throw Refusal{"no member has the address " + printable(*member)};
        }
        for (const ScoreRecord& s :
             storage.scoreRecords(member, since(p.option("since"), 0), limit(p.option("limit")))) {
            out << s.id << '\t' << localTimestamp(s.at) << '\t' << s.score << '\t'
                << (s.proven ? "proven" : "unproven") << '\t' << (s.ranked ? "ranked" : "unranked")
                << '\t' << (s.hidden ? "hidden" : "shown") << '\t' << printable(s.email) << '\t'
                << printable(s.nickname) << '\n';
        }
        return out.flush() ? 0 : 1;
    }
    if (command == "score" && (sub == "hide" || sub == "show")) {
        const bool hide = sub == "hide";
        const Parsed p = parse(rest, hide ? std::vector<std::string>{"reason", "by"}
                                          : std::vector<std::string>{"by"});
        if (p.words.size() != 1) {
            throw Misuse{};
        }
        const std::int64_t id = scoreId(p.words[0]);
        const std::string by = actorOf(p, actor);
        if (hide) {
            done(storage.hideScore(id, reason(p.option("reason")), by, now),
                 "score has the ID " + p.words[0], "that score is hidden already");
        } else {
            done(storage.showScore(id, by, now), "score has the ID " + p.words[0],
                 "that score is not hidden");
        }
        return 0;
    }
    if (command == "member" && (sub == "ban" || sub == "unban")) {
        const bool ban = sub == "ban";
        const Parsed p = parse(rest, ban ? std::vector<std::string>{"reason", "by"}
                                         : std::vector<std::string>{"by"});
        if (p.words.size() != 1) {
            throw Misuse{};
        }
        const std::string email = address(p.words[0]);
        const std::string by = actorOf(p, actor);
        const std::string what = "member has the address " + printable(email);
        if (ban) {
            done(storage.banMember(email, reason(p.option("reason")), by, now), what,
                 "that member is banned already");
        } else {
            done(storage.unbanMember(email, by, now), what, "that member is not banned");
        }
        return 0;
    }
    if (command == "moderation" && sub == "log") {
        const Parsed p = parse(rest, {"since", "limit"});
        if (!p.words.empty()) {
            throw Misuse{};
        }
        for (const ModerationAct& a :
             storage.moderationLog(since(p.option("since"), 0), limit(p.option("limit")))) {
            out << localTimestamp(a.at) << '\t' << printable(a.actor) << '\t' << a.act << '\t'
                << printable(a.target) << '\t' << printable(a.reason) << '\n';
        }
        return out.flush() ? 0 : 1;
    }
    throw Misuse{};
}

} // namespace

bool isModerationCommand(const std::vector<std::string>& args) {
    if (args.empty()) {
        return false;
    }
    const std::string sub = args.size() > 1 ? args[1] : "";
    return args[0] == "score" || args[0] == "moderation" ||
           (args[0] == "member" && (sub == "ban" || sub == "unban"));
}

int moderationCommand(Storage& storage, const std::vector<std::string>& args,
                      const std::string& actor, std::int64_t now, std::ostream& out,
                      std::ostream& err) {
    try {
        // Times are the portal's, and the kept bests are recounted in its zone.
        const CompetitionSettings settings = loadCompetitionSettings(storage);
        if (!useTimeZone(settings.timeZone)) {
            throw Refusal{"the time zone " + settings.timeZone +
                          " is not in this system's tzdata (set another with competition set "
                          "--time-zone ZONE)"};
        }
        return run(storage, args, actor, now, out);
    } catch (const Misuse&) {
        err << usage;
        return 2;
    } catch (const Refusal& refusal) {
        err << "pingel-portal: " << refusal.message << '\n';
        return 1;
    }
}

std::string operatorName() {
    if (const char* sudoUser = std::getenv("SUDO_USER"); sudoUser && *sudoUser) {
        return sudoUser;
    }
    const uid_t uid = geteuid();
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name) {
        return found->pw_name;
    }
    return "uid " + std::to_string(uid);
}
