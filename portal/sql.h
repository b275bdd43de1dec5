// The portal's two database engines behind one small connection type: a statement with
// "?" placeholders and its values in, the rows out as texts. Every value travels as a
// bound parameter, never spliced into the statement. SQLite is the embedded default;
// PostgreSQL serves several portal processes at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

using SqlValue = std::variant<std::nullptr_t, std::int64_t, std::string>;
using SqlRow = std::vector<std::optional<std::string>>;

// A failed statement or connection; the text names the engine's complaint.
struct SqlError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class SqlConnection {
  public:
    enum class Engine { Sqlite, Postgres };

    virtual ~SqlConnection() = default;
    virtual Engine engine() const = 0;
    // Runs one statement; "?" marks each parameter in order. Throws SqlError.
    virtual std::vector<SqlRow> run(const std::string& sql,
                                    const std::vector<SqlValue>& params = {}) = 0;
    // Runs one statement and hands each row to `row` as it arrives, never holding them all
    // (a table of any size is read through it). Throws SqlError; what `row` throws is
    // passed on once the statement is done with.
    virtual void each(const std::string& sql, const std::vector<SqlValue>& params,
                      const std::function<void(SqlRow&&)>& row) = 0;
};

// Opens (and creates) an SQLite file with a WAL journal and a busy timeout.
std::unique_ptr<SqlConnection> openSqlite(const std::string& path);
// How a backup of a live SQLite database shares the disk with the portals writing to it:
// so many pages a step, a pause between steps.
struct BackupPacing {
    int pagesPerStep = 512;
    std::chrono::milliseconds pause{5};
    // Called in each pause with the pages still to copy and the pages in all.
    std::function<void(int left, int total)> between = {};
};
// Copies the SQLite database `source` (which must exist) into `copy` (an empty file or a
// new one) by SQLite's online backup, in steps: the source stays in one read transaction
// throughout, so the copy is the database as it stood when the backup began while portals
// go on writing beside it (its WAL journal lets them), and a backup is never started over.
// The copy is left with a rollback journal (a single file, readable on its own) and is
// checked (PRAGMA quick_check) before this returns. Throws SqlError.
void backupSqlite(const std::string& source, const std::string& copy, const BackupPacing& pacing);
// Opens a PostgreSQL connection from a postgresql:// URL or a key=value string.
std::unique_ptr<SqlConnection> openPostgres(const std::string& conninfo);

// "?" placeholders rewritten as $1, $2, ... for PostgreSQL. The statements hold no "?"
// inside quotes.
std::string numberedPlaceholders(const std::string& sql);

// Runs `body` in a transaction that holds `lock` (unless 0) on PostgreSQL, rolled back when
// it throws.
template <typename Body> void inTransaction(SqlConnection& db, std::int64_t lock, Body&& body) {
    const bool sqlite = db.engine() == SqlConnection::Engine::Sqlite;
    db.run(sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
    try {
        if (!sqlite && lock != 0) {
            db.run("SELECT pg_advisory_xact_lock(?)", {lock});
        }
        body();
        db.run("COMMIT");
    } catch (...) {
        try {
            db.run("ROLLBACK");
        } catch (const SqlError&) {
        }
        throw;
    }
}
