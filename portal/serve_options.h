// The options of `pingel-portal serve` and --database, given on the command line or in a
// configuration file (`--config FILE`). One table names every option, says whether it
// takes a value, is a flag or may be given again, and checks its value into ServeOptions,
// so both sources read the same options with the same checks and messages.
//
// The file holds `name = value` lines (names as on the command line, without "--"), lines
// starting with # and blank lines; a flag is written `rank-unproven = true` (or false); a
// repeatable option is repeated line by line. Options on the command line win over the
// file; a repeatable option given on the command line replaces the file's lines of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ServeOptions {
    std::string database;                 // an SQLite file or a postgresql:// URL
    std::string listen;                   // ADDRESS:PORT
    std::optional<std::string> site;      // the browser version's folder
    std::string publicUrl;                // without a closing "/"; empty: http://LISTEN
    std::string outbox;                   // empty: beside the database
    std::vector<std::string> mailCommand; // the program and its words; empty: the outbox
    std::optional<std::string> mailFrom;
    std::vector<std::string> trustedProxies;
    bool rankUnproven = false;
    std::optional<int> submissionsPerHour;
    std::vector<std::string> metricsFrom; // who may read /metrics; empty: loopback
    std::optional<std::string> accessLog; // a file, or "off"; none: standard error
};

// One option as given: its name without "--", its value (none for a flag on the command
// line) and where it was given, as messages name it ("--listen" or "FILE:12: listen").
struct OptionSetting {
    std::string name;
    std::optional<std::string> value;
    std::string where;
};

// What the command line's argument argv[i] was to the table.
enum class OptionArgument { notAnOption, taken, missingValue };

// Takes argv[i] when it is an option of the table ("--name", "--name VALUE" or
// "--name=VALUE") into `settings`, and moves i past its value.
OptionArgument takeOptionArgument(int argc, const char* const* argv, int& i,
                                  std::vector<OptionSetting>& settings);

// The settings of a configuration file, in order, or the message for its first bad line
// ("FILE:LINE: ...") or for a file that cannot be read.
struct OptionFile {
    std::vector<OptionSetting> settings;
    std::string error; // empty when the file was read
};
OptionFile readOptionFile(const std::string& path);

// Checks each setting into `options`, in order; a repeatable option named in `settings`
// replaces what `options` held of it. The message of the first bad value, or nothing.
std::optional<std::string> applyOptions(ServeOptions& options,
                                        const std::vector<OptionSetting>& settings);

// Fills in what depends on other options (the public URL from --listen, the outbox beside
// the SQLite database or under the data folder); the message when the result is bad.
std::optional<std::string> completeOptions(ServeOptions& options);

// ADDRESS:PORT as the host (without IPv6 brackets) and the port.
std::optional<std::pair<std::string, int>> listenAddress(std::string_view listen);

bool isPostgresUrl(std::string_view database);
