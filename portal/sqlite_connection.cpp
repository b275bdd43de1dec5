// The SQLite engine: one database file, a WAL journal (readers never wait for the writer),
// a busy timeout so that a second process waits for the lock instead of failing, and
// foreign keys enforced. A new database file is readable and writable by its owner alone.
#include "portal/sql.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <unordered_map>

namespace {

// Creates the database file with mode 0600 when there is none yet (SQLite would make it
// 0644, less the umask). SQLite gives the journal files (-wal, -shm) the mode of the
// database file, so they are the owner's alone as well. An existing file is left as its
// owner set it.
void createPrivately(const std::string& path) {
    if (path.empty() || path == ":memory:" || path.starts_with("file:")) {
        return;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
}

class SqliteConnection final : public SqlConnection {
  public:
    explicit SqliteConnection(const std::string& path) {
        createPrivately(path);
        if (sqlite3_open_v2(path.c_str(), &db_,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                            nullptr) != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw SqlError("cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, 5000);
        run("PRAGMA journal_mode=WAL", {});
        // A commit survives the process being killed at any moment; NORMAL leaves only
        // a power cut between the commit and the next checkpoint to chance.
        run("PRAGMA synchronous=NORMAL", {});
        run("PRAGMA foreign_keys=ON", {});
    }
    ~SqliteConnection() override {
        forget();
        sqlite3_close(db_);
    }
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    Engine engine() const override { return Engine::Sqlite; }

    std::vector<SqlRow> run(const std::string& sql, const std::vector<SqlValue>& params) override {
        std::vector<SqlRow> rows;
        each(sql, params, [&rows](SqlRow&& row) { rows.push_back(std::move(row)); });
        return rows;
    }

    void each(const std::string& sql, const std::vector<SqlValue>& params,
              const std::function<void(SqlRow&&)>& take) override {
        sqlite3_stmt* stmt = statement(sql);
        // Ready for its next use however this one ends.
        struct Reset {
            sqlite3_stmt* s;
            ~Reset() {
                sqlite3_reset(s);
                sqlite3_clear_bindings(s);
            }
        } reset{stmt};
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            if (const auto* n = std::get_if<std::int64_t>(&params[i])) {
                sqlite3_bind_int64(stmt, at, *n);
            } else if (const auto* s = std::get_if<std::string>(&params[i])) {
                sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()),
                                  SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_null(stmt, at);
            }
        }
        for (;;) {
            const int rc = sqlite3_step(stmt);
            if (rc == SQLITE_DONE) {
                return;
            }
            if (rc != SQLITE_ROW) {
                throw SqlError(std::string("sqlite: ") + sqlite3_errmsg(db_));
            }
            SqlRow row;
            const int columns = sqlite3_column_count(stmt);
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                    row.emplace_back();
                } else {
                    const auto* text = sqlite3_column_text(stmt, c);
                    row.emplace_back(
                        std::string(reinterpret_cast<const char*>(text),
                                    static_cast<std::size_t>(sqlite3_column_bytes(stmt, c))));
                }
            }
            take(std::move(row));
        }
    }

  private:
    // The portal runs a few dozen distinct statements over and over: each is compiled once
    // per connection and kept (up to a bound, past which all are compiled afresh).
    sqlite3_stmt* statement(const std::string& sql) {
        if (const auto found = prepared_.find(sql); found != prepared_.end()) {
            return found->second;
        }
        if (prepared_.size() >= 128) {
            forget();
        }
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                               SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK ||
            stmt == nullptr) {
            sqlite3_finalize(stmt);
            throw SqlError(std::string("sqlite: ") + sqlite3_errmsg(db_));
        }
        prepared_.emplace(sql, stmt);
        return stmt;
    }
    void forget() {
        for (auto& [sql, stmt] : prepared_) {
            sqlite3_finalize(stmt);
        }
        prepared_.clear();
    }

    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> prepared_;
};

} // namespace

std::unique_ptr<SqlConnection> openSqlite(const std::string& path) {
    return std::make_unique<SqliteConnection>(path);
}

namespace {

// A bare connection for the backup, closed however it ends.
struct Handle {
    sqlite3* db = nullptr;
    Handle(const std::string& path, int flags) {
        if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
            const std::string why = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            throw SqlError("cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db, 5000);
    }
    ~Handle() { sqlite3_close(db); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // Runs statements without results, or with one row whose first column is returned.
    std::string exec(const char* sql) {
        std::string first;
        const auto keep = [](void* out, int, char** values, char**) {
            if (values[0] && static_cast<std::string*>(out)->empty()) {
                *static_cast<std::string*>(out) = values[0];
            }
            return 0;
        };
        char* error = nullptr;
        if (sqlite3_exec(db, sql, keep, &first, &error) != SQLITE_OK) {
            const std::string why = error ? error : sqlite3_errmsg(db);
            sqlite3_free(error);
            throw SqlError("sqlite: " + why);
        }
        return first;
    }
};

} // namespace

void backupSqlite(const std::string& source, const std::string& copy, const BackupPacing& pacing) {
    // Never created here: a mistyped path is an error, not a new empty database.
    Handle from(source, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    {
        Handle to(copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        // A read transaction held across the steps: the backup reads one snapshot, and the
        // writes of other connections meanwhile never make it start over.
        from.exec("BEGIN");
        struct End {
            Handle& h;
            ~End() { sqlite3_exec(h.db, "ROLLBACK", nullptr, nullptr, nullptr); }
        } end{from};
        from.exec("SELECT COUNT(*) FROM sqlite_schema");
        sqlite3_backup* backup = sqlite3_backup_init(to.db, "main", from.db, "main");
        if (!backup) {
            throw SqlError(std::string("sqlite: ") + sqlite3_errmsg(to.db));
        }
        int busy = 0;
        for (;;) {
            const int rc = sqlite3_backup_step(backup, std::max(1, pacing.pagesPerStep));
            if (rc == SQLITE_DONE) {
                break;
            }
            const bool waiting = rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
            if ((rc != SQLITE_OK && !waiting) || (waiting && ++busy > 1000)) {
                sqlite3_backup_finish(backup);
                throw SqlError(std::string("sqlite: backup: ") + sqlite3_errstr(rc));
            }
            if (pacing.between) {
                pacing.between(sqlite3_backup_remaining(backup), sqlite3_backup_pagecount(backup));
            }
            std::this_thread::sleep_for(pacing.pause);
        }
        if (const int rc = sqlite3_backup_finish(backup); rc != SQLITE_OK) {
            throw SqlError(std::string("sqlite: backup: ") + sqlite3_errstr(rc));
        }
    }
    // The copy carries the source's WAL mark; as a file on its own it keeps a rollback
    // journal instead (whoever opens it for writing may turn WAL on again).
    Handle to(copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    to.exec("PRAGMA journal_mode=DELETE");
    const std::string check = to.exec("PRAGMA quick_check");
    if (check != "ok") {
        throw SqlError("the copy fails its check: " + check);
    }
}
