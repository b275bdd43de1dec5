// The operator's safety copies: `backup` copies a live SQLite database into a file of its
// own while portals go on serving it, and `copy` moves everything the portal keeps from
// one database to another, SQLite or PostgreSQL either way.
#pragma once

#include "portal/sql.h"

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A backup or copy refused before anything was written, or undone; the text says why.
struct CopyRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Copies the SQLite database `database` into `file` (see backupSqlite): written beside it
// under a temporary name (mode 0600), flushed to the disk and renamed into place. An
// existing `file` is replaced only with `replace`; the database itself, a file beside which
// a journal of a database in use lies, and a PostgreSQL database (pg_dump's work) are
// refused. Throws CopyRefused or SqlError; no temporary file is left behind.
void backupDatabase(const std::string& database, const std::string& file, bool replace,
                    const BackupPacing& pacing = {});

// Copies every row the portal keeps from the database `from` into `to` (each an SQLite file
// or a postgresql:// URL), ids included, in one transaction on `to`: both are first brought
// to this portal's schema (`to` created when new). The source is read in one snapshot, so a
// portal may serve it meanwhile. A target that holds a member or a score, a source that
// holds a table this portal does not know, and rows that do not arrive in full are refused
// (nothing written). The password throttle's failures are not copied (counted afresh).
// Returns each copied table with its rows, in the order copied. Throws CopyRefused or
// SqlError.
std::vector<std::pair<std::string, std::int64_t>> copyDatabase(const std::string& from,
                                                               const std::string& to);

// The commands: `backup FILE [--replace]` on the portal's --database, and
// `copy --from DATABASE --to DATABASE`; `args` from the command's name on. The exit code.
int backupCommand(const std::vector<std::string>& args, const std::string& database,
                  std::ostream& err);
int copyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
