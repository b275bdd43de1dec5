// The portal's two database engines behind one small connection type: a statement with
// "?" placeholders and its values in, the rows out as texts. Every value travels as a
// bound parameter, never spliced into the statement. SQLite is the embedded default;
// PostgreSQL serves several portal processes at once.
#pragma once

#include <cstdint>
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
};

// Opens (and creates) an SQLite file with a WAL journal and a busy timeout.
std::unique_ptr<SqlConnection> openSqlite(const std::string& path);
// Opens a PostgreSQL connection from a postgresql:// URL or a key=value string.
std::unique_ptr<SqlConnection> openPostgres(const std::string& conninfo);

// "?" placeholders rewritten as $1, $2, ... for PostgreSQL. The statements hold no "?"
// inside quotes.
std::string numberedPlaceholders(const std::string& sql);
