#include "portal/serve_options.h"

#include "portal/http_server.h"
#include "portal/mail.h"
#include "portal/storage.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

enum class Kind { value, flag, repeatable };

// Checks a value into the options; the message's tail after the option's name when the
// value is bad (e.g. "takes ADDRESS:PORT, e.g. 127.0.0.1:8080").
using Check = std::optional<std::string> (*)(ServeOptions&, const std::string&);

struct Option {
    std::string_view name;
    Kind kind;
    Check check;
    void (*clear)(ServeOptions&) = nullptr; // a repeatable option's values all gone
};

std::optional<std::uint32_t> unsignedNumber(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool acceptableUrl(std::string& url) {
    while (url.ends_with("/")) {
        url.pop_back();
    }
    const bool web = url.starts_with("http://") || url.starts_with("https://");
    return web && url.find_first_of(" \t\r\n\"<>") == std::string::npos;
}

constexpr const char* urlProblem = "takes http://HOST[:PORT] or https://HOST[:PORT]";

// Every option of serve, and the database every command works on. A new option is one
// more line here (and its lines in the usage text and the man page).
const std::array<Option, 12> options{{
    {"database", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         o.database = v;
         return std::nullopt;
     }},
    {"listen", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         if (!listenAddress(v)) {
             return "takes ADDRESS:PORT, e.g. 127.0.0.1:8080";
         }
         o.listen = v;
         return std::nullopt;
     }},
    {"site", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         if (access((v + "/index.html").c_str(), R_OK) != 0) {
             return v + " holds no readable index.html";
         }
         o.site = v;
         return std::nullopt;
     }},
    {"public-url", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         std::string url = v;
         if (!acceptableUrl(url)) {
             return urlProblem;
         }
         o.publicUrl = url;
         return std::nullopt;
     }},
    {"outbox", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         o.outbox = v;
         return std::nullopt;
     }},
    {"mail-command", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         o.mailCommand = commandWords(v);
         if (o.mailCommand.empty()) {
             return "takes a program, e.g. \"/usr/sbin/sendmail -t\"";
         }
         return std::nullopt;
     }},
    {"mail-from", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         if (!acceptableFrom(v)) {
             return "takes an address, e.g. \"spelia <spelia@example.se>\"";
         }
         o.mailFrom = v;
         return std::nullopt;
     }},
    {"trusted-proxy", Kind::repeatable,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         if (forwardedClient(v) != v) {
             return "takes an IP address, e.g. 127.0.0.1";
         }
         o.trustedProxies.push_back(v);
         return std::nullopt;
     },
     [](ServeOptions& o) { o.trustedProxies.clear(); }},
    {"rank-unproven", Kind::flag,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         if (v != "true" && v != "false") {
             return "takes true or false";
         }
         o.rankUnproven = v == "true";
         return std::nullopt;
     }},
    {"submissions-per-hour", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         const auto n = unsignedNumber(v);
         if (!n || *n == 0 || *n > 1000000) {
             return "takes a number from 1 to 1000000";
         }
         o.submissionsPerHour = static_cast<int>(*n);
         return std::nullopt;
     }},
    {"metrics-from", Kind::repeatable,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         if (!canonicalAddress(v)) {
             return "takes an IP address, e.g. 127.0.0.1";
         }
         o.metricsFrom.push_back(v);
         return std::nullopt;
     },
     [](ServeOptions& o) { o.metricsFrom.clear(); }},
    {"access-log", Kind::value,
     [](ServeOptions& o, const std::string& v) -> std::optional<std::string> {
         o.accessLog = v;
         return std::nullopt;
     }},
}};

const Option* findOption(std::string_view name) {
    for (const Option& option : options) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

OptionArgument takeOptionArgument(int argc, const char* const* argv, int& i,
                                  std::vector<OptionSetting>& settings) {
    const std::string_view arg = argv[i];
    if (!arg.starts_with("--")) {
        return OptionArgument::notAnOption;
    }
    const auto equals = arg.find('=');
    const std::string name(arg.substr(2, equals == std::string_view::npos ? arg.npos : equals - 2));
    const Option* option = findOption(name);
    if (option == nullptr) {
        return OptionArgument::notAnOption;
    }
    OptionSetting setting{name, std::nullopt, "--" + name};
    if (equals != std::string_view::npos) {
        setting.value = std::string(arg.substr(equals + 1));
    } else if (option->kind != Kind::flag) {
        if (i + 1 >= argc) {
            return OptionArgument::missingValue;
        }
        setting.value = argv[++i];
    }
    settings.push_back(std::move(setting));
    return OptionArgument::taken;
}

OptionFile readOptionFile(const std::string& path) {
    OptionFile file;
    // An operator's file of a few lines; anything this large is not one.
    constexpr std::uintmax_t largest = 1 << 20;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) {
        file.error = "cannot read the configuration file " + path;
        return file;
    }
    if (size > largest) {
        file.error = path + " is no configuration file (larger than 1 MiB)";
        return file;
    }
    std::map<std::string, int> setOnLine; // the single-valued options already set
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string where = path + ":" + std::to_string(number) + ": ";
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) {
            file.error = where + "expected NAME = VALUE, found " + std::string(text);
            return file;
        }
        const std::string name(trimmed(text.substr(0, equals)));
        const Option* option = findOption(name);
        if (option == nullptr) {
            file.error = where + "unknown option " + name;
            return file;
        }
        if (option->kind != Kind::repeatable) {
            if (const auto seen = setOnLine.find(name); seen != setOnLine.end()) {
                file.error =
                    where + name + " is set already on line " + std::to_string(seen->second);
                return file;
            }
            setOnLine[name] = number;
        }
        file.settings.push_back(
            {name, std::string(trimmed(text.substr(equals + 1))), where + name});
    }
    if (in.bad()) {
        file.error = "cannot read the configuration file " + path;
    }
    return file;
}

std::optional<std::string> applyOptions(ServeOptions& given,
                                        const std::vector<OptionSetting>& settings) {
    std::vector<const Option*> replaced; // the repeatable options these settings give anew
    for (const OptionSetting& setting : settings) {
        const Option* option = findOption(setting.name);
        if (option == nullptr) {
            return setting.where + " is no option";
        }
        if (option->kind == Kind::flag && !setting.value) {
            option->check(given, "true");
            continue;
        }
        const std::string value = setting.value.value_or("");
        if (value.empty()) {
            return setting.where + " needs a value";
        }
        if (option->clear != nullptr &&
            std::find(replaced.begin(), replaced.end(), option) == replaced.end()) {
            option->clear(given);
            replaced.push_back(option);
        }
        if (auto problem = option->check(given, value)) {
            return setting.where + " " + *problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> completeOptions(ServeOptions& o) {
    if (o.publicUrl.empty()) {
        o.publicUrl = "http://" + o.listen;
        if (!acceptableUrl(o.publicUrl)) {
            return std::string("--public-url ") + urlProblem;
        }
    }
    if (o.outbox.empty()) {
        std::error_code error; // (no current folder): the outbox stays relative
        const auto folder =
            isPostgresUrl(o.database)
                ? std::filesystem::path(defaultDatabasePath()).parent_path()
                : std::filesystem::absolute(o.database, error).lexically_normal().parent_path();
        o.outbox = (folder / "outbox").string();
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, int>> listenAddress(std::string_view listen) {
    const auto colon = listen.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return std::nullopt;
    }
    const auto port = unsignedNumber(listen.substr(colon + 1));
    if (!port || *port > 65535) {
        return std::nullopt;
    }
    std::string host(listen.substr(0, colon));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    return std::pair{host, static_cast<int>(*port)};
}

bool isPostgresUrl(std::string_view database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}
