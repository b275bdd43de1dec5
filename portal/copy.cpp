// The copy of a whole portal from one database to another; see backup.h. It is driven by
// the table of the portal's tables below, whose columns are read from the databases
// themselves (both at this portal's schema, so a column a later step adds is copied with
// the rest); a table missing from it stops the copy, so that a table a later step adds is
// never quietly left behind.
#include "portal/backup.h"
#include "portal/storage.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace {

enum class Rows { Copied, Dropped, Schema };

struct Table {
    const char* name;
    Rows rows;
};

// In the order they are filled: a table after those its rows refer to.
constexpr Table tables[] = {
    {"members", Rows::Copied},
    {"scores", Rows::Copied},
    {"kept_bests", Rows::Copied},
    {"sessions", Rows::Copied},
    {"reset_tokens", Rows::Copied},
    {"confirm_tokens", Rows::Copied},
    {"builds", Rows::Copied},
    {"settings", Rows::Copied},
    {"hidden_scores", Rows::Copied},
    {"member_bans", Rows::Copied},
    {"moderation_log", Rows::Copied},
    // The password throttle's and rate limits' recent attempts: counted afresh.
    {"failures", Rows::Dropped},
    // Made by the target's own schema steps.
    {"schema_version", Rows::Schema},
    {"schema_migrations", Rows::Schema},
};

// Rows sent to the target in one statement.
constexpr std::size_t rowsPerInsert = 64;

bool postgresUrl(const std::string& database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::unique_ptr<SqlConnection> connect(const std::string& database) {
    return postgresUrl(database) ? openPostgres(database) : openSqlite(database);
}

bool sqlite(SqlConnection& db) {
    return db.engine() == SqlConnection::Engine::Sqlite;
}

std::vector<std::string> firstColumn(SqlConnection& db, const std::string& sql,
                                     const std::vector<SqlValue>& params = {}) {
    std::vector<std::string> out;
    for (const auto& row : db.run(sql, params)) {
        out.push_back(row.at(0).value_or(""));
    }
    return out;
}

std::vector<std::string> tableNames(SqlConnection& db) {
    return firstColumn(db, sqlite(db) ? "SELECT name FROM sqlite_schema WHERE type = 'table'"
                                        " AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
                                      : "SELECT table_name FROM information_schema.tables"
                                        " WHERE table_schema = current_schema()"
                                        " AND table_type = 'BASE TABLE'");
}

std::vector<std::string> columnNames(SqlConnection& db, const std::string& table) {
    return firstColumn(db,
                       sqlite(db) ? "SELECT name FROM pragma_table_info(?) ORDER BY cid"
                                  : "SELECT column_name FROM information_schema.columns"
                                    " WHERE table_schema = current_schema()"
                                    " AND table_name = ? ORDER BY ordinal_position",
                       {table});
}

// A name from the table above or from the database's own catalogue, quoted.
std::string quoted(const std::string& name) {
    return '"' + name + '"';
}

std::int64_t count(SqlConnection& db, const std::string& table) {
    return std::stoll(db.run("SELECT COUNT(*) FROM " + quoted(table)).at(0).at(0).value_or("0"));
}

// Members or scores in the target: it is somebody's portal, never overwritten.
void refuseUnlessEmpty(SqlConnection& db) {
    const auto names = tableNames(db);
    for (const char* table : {"members", "scores"}) {
        if (std::find(names.begin(), names.end(), table) != names.end() && count(db, table) > 0) {
            throw CopyRefused(std::string("the target database holds ") + table +
                              " already: copy fills only an empty database");
        }
    }
}

// Streams the table's rows from the source into the target, `rowsPerInsert` a statement;
// the rows sent.
std::int64_t copyRows(SqlConnection& source, SqlConnection& target, const std::string& table,
                      const std::vector<std::string>& columns, bool overriding) {
    std::string names;
    std::string tuple = "(";
    for (const std::string& column : columns) {
        names += (names.empty() ? "" : ", ") + quoted(column);
        tuple += tuple.size() == 1 ? "?" : ", ?";
    }
    tuple += ")";
    const std::string insert = "INSERT INTO " + quoted(table) + " (" + names + ")" +
                               (overriding ? " OVERRIDING SYSTEM VALUE" : "") + " VALUES ";
    std::vector<SqlValue> params;
    std::size_t pending = 0;
    std::int64_t sent = 0;
    const auto flush = [&] {
        if (pending == 0) {
            return;
        }
        std::string sql = insert;
        for (std::size_t i = 0; i < pending; ++i) {
            sql += (i == 0 ? "" : ", ") + tuple;
        }
        target.run(sql, params);
        sent += static_cast<std::int64_t>(pending);
        params.clear();
        pending = 0;
    };
    source.each("SELECT " + names + " FROM " + quoted(table), {}, [&](SqlRow&& row) {
        for (auto& value : row) {
            params.push_back(value ? SqlValue(std::move(*value)) : SqlValue(nullptr));
        }
        if (++pending == rowsPerInsert) {
            flush();
        }
    });
    flush();
    return sent;
}

} // namespace

std::vector<std::pair<std::string, std::int64_t>> copyDatabase(const std::string& from,
                                                               const std::string& to) {
    if (from == to) {
        throw CopyRefused("--from and --to name the same database");
    }
    std::error_code error;
    if (!postgresUrl(from) && !std::filesystem::is_regular_file(from, error)) {
        throw CopyRefused("no SQLite database at " + from);
    }
    if (!postgresUrl(from) && !postgresUrl(to) && std::filesystem::exists(to, error) &&
        std::filesystem::equivalent(from, to, error)) {
        throw CopyRefused("--from and --to name the same database");
    }
    // Refused before the schema's steps touch the target.
    if (postgresUrl(to) || std::filesystem::exists(to, error)) {
        refuseUnlessEmpty(*connect(to));
    }
    // Both at this portal's schema: an older one brought up to it, a newer one refused.
    openStorage(from);
    openStorage(to);

    const auto source = connect(from);
    const auto target = connect(to);
    // One snapshot of the source for every table; a portal serving it writes on beside.
    source->run(sqlite(*source) ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    std::vector<std::pair<std::string, std::int64_t>> copied;
    try {
        for (const std::string& name : tableNames(*source)) {
            if (std::none_of(std::begin(tables), std::end(tables),
                             [&](const Table& t) { return name == t.name; })) {
                throw CopyRefused("the source holds the table " + name +
                                  ", which this portal's copy does not know (a newer "
                                  "portal's?); nothing copied");
            }
        }
        inTransaction(*target, 0, [&] {
            refuseUnlessEmpty(*target);
            // What an empty portal holds (its settings, its builds) gives way to the source's.
            for (auto t = std::rbegin(tables); t != std::rend(tables); ++t) {
                if (t->rows == Rows::Copied) {
                    target->run(std::string("DELETE FROM ") + quoted(t->name));
                }
            }
            std::string short_;
            for (const Table& t : tables) {
                if (t.rows != Rows::Copied) {
                    continue;
                }
                auto columns = columnNames(*source, t.name);
                auto theirs = columnNames(*target, t.name);
                std::sort(theirs.begin(), theirs.end());
                auto ours = columns;
                std::sort(ours.begin(), ours.end());
                if (ours != theirs || columns.empty()) {
                    throw CopyRefused(std::string("the table ") + t.name +
                                      " has other columns in the source than in the target");
                }
                const auto identity =
                    sqlite(*target)
                        ? std::vector<std::string>{}
                        : firstColumn(*target,
                                      "SELECT column_name FROM information_schema.columns"
                                      " WHERE table_schema = current_schema()"
                                      " AND table_name = ? AND is_identity = 'YES'",
                                      {std::string(t.name)});
                std::int64_t sent = 0;
                try {
                    sent = copyRows(*source, *target, t.name, columns, !identity.empty());
                } catch (const SqlError& e) {
                    throw SqlError(std::string("copying ") + t.name + ": " + e.what());
                }
                // Every row read is in the target, and they are all the source's.
                const std::int64_t there = count(*target, t.name), here = count(*source, t.name);
                if (there != sent || here != sent) {
                    short_ += std::string(short_.empty() ? "" : ", ") + t.name + " (" +
                              std::to_string(here) + " in the source, " + std::to_string(sent) +
                              " read, " + std::to_string(there) + " in the target)";
                }
                // New rows are numbered past the copied ids.
                for (const std::string& column : identity) {
                    target->run("SELECT setval(pg_get_serial_sequence(?, ?), (SELECT COALESCE("
                                "MAX(" +
                                    quoted(column) + "), 0) + 1 FROM " + quoted(t.name) +
                                    "), false)",
                                {std::string(t.name), column});
                }
                copied.emplace_back(t.name, sent);
            }
            if (!short_.empty()) {
                throw CopyRefused("rows went missing: " + short_ + "; nothing copied");
            }
        });
    } catch (...) {
        try {
            source->run("ROLLBACK");
        } catch (const SqlError&) {
        }
        throw;
    }
    source->run("ROLLBACK"); // it only read
    return copied;
}

int copyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string from, to;
    bool wrong = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string* slot = nullptr;
        std::string value;
        for (auto [option, into] : {std::pair{"--from", &from}, std::pair{"--to", &to}}) {
            const std::string name = option;
            if (args[i] == name && i + 1 < args.size()) {
                slot = into;
                value = args[++i];
            } else if (args[i].starts_with(name + "=")) {
                slot = into;
                value = args[i].substr(name.size() + 1);
            }
        }
        wrong = wrong || !slot || !slot->empty() || value.empty();
        if (slot) {
            *slot = value;
        }
    }
    if (wrong || from.empty() || to.empty()) {
        err << "pingel-portal: usage: copy --from DATABASE --to DATABASE\n";
        return 2;
    }
    try {
        for (const auto& [table, rows] : copyDatabase(from, to)) {
            out << table << '\t' << rows << '\n';
        }
    } catch (const std::exception& e) {
        err << "pingel-portal: " << e.what() << '\n';
        return 1;
    }
    err << "pingel-portal: copied into " << (postgresUrl(to) ? "the PostgreSQL database" : to)
        << " (the password throttle's recent failures are not copied)\n";
    return out.flush() ? 0 : 1;
}
