// The operator's moderation commands of pingel-portal: listing scores, hiding a score and
// showing it again, banning a member and lifting the ban, and the log of these acts.
// Every act is stored with its time, the operator who made it and the reason (storage.h).
//
//   score list [--member EMAIL] [--since DATE] [--limit N]
//   score hide ID --reason TEXT [--by NAME]
//   score show ID [--by NAME]
//   member ban EMAIL --reason TEXT [--by NAME]
//   member unban EMAIL [--by NAME]
//   moderation log [--since DATE] [--limit N]
//
// Listings print one record a line, fields separated by tabs, texts last, newest first:
//   score list:     ID TIME SCORE proven|unproven ranked|unranked shown|hidden EMAIL NICKNAME
//   moderation log: TIME ACTOR ACT TARGET REASON
// TIME as localTimestamp() in the portal's time zone, DATE as YYYY-MM-DD there.
#pragma once

#include "portal/storage.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Whether `args` (the command's words and its own options, as main() collects them) name
// one of these commands.
bool isModerationCommand(const std::vector<std::string>& args);

// Runs the command as operator `actor` (unless --by names another) at `now`: 0 done, 1 an
// error (said on `err`), 2 a wrong use (the commands' usage on `err`).
int moderationCommand(Storage& storage, const std::vector<std::string>& args,
                      const std::string& actor, std::int64_t now, std::ostream& out,
                      std::ostream& err);

// The operator's login name: $SUDO_USER when set (the one behind sudo), else the name of
// the process's user (or its number when it has none).
std::string operatorName();
