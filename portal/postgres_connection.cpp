// The PostgreSQL engine through libpq: parameterised statements sent as text values, the
// results read back as texts. The connection is re-established once if the server
// dropped it (a restart of the database should not need a restart of the portal).
#include "portal/sql.h"

#include <libpq-fe.h>

namespace {

class PostgresConnection final : public SqlConnection {
  public:
    explicit PostgresConnection(std::string conninfo) : conninfo_(std::move(conninfo)) {
        connect();
        run("SET client_min_messages TO WARNING", {});
    }
    ~PostgresConnection() override { PQfinish(conn_); }
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    Engine engine() const override { return Engine::Postgres; }

    std::vector<SqlRow> run(const std::string& sql, const std::vector<SqlValue>& params) override {
        if (PQstatus(conn_) != CONNECTION_OK) {
            PQreset(conn_);
        }
        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size(), nullptr);
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (const auto* n = std::get_if<std::int64_t>(&params[i])) {
                texts[i] = std::to_string(*n);
                values[i] = texts[i].c_str();
            } else if (const auto* s = std::get_if<std::string>(&params[i])) {
                texts[i] = *s;
                values[i] = texts[i].c_str();
            }
        }
        const std::string statement = numberedPlaceholders(sql);
        PGresult* result = PQexecParams(conn_, statement.c_str(), static_cast<int>(params.size()),
                                        nullptr, values.data(), nullptr, nullptr, 0);
        struct Clear {
            PGresult* r;
            ~Clear() { PQclear(r); }
        } clear{result};
        const auto status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            throw SqlError(std::string("postgresql: ") + PQerrorMessage(conn_));
        }
        std::vector<SqlRow> rows;
        const int count = PQntuples(result), columns = PQnfields(result);
        for (int r = 0; r < count; ++r) {
            SqlRow row;
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(result, r, c)) {
                    row.emplace_back();
                } else {
                    row.emplace_back(
                        std::string(PQgetvalue(result, r, c),
                                    static_cast<std::size_t>(PQgetlength(result, r, c))));
                }
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

  private:
    void connect() {
        conn_ = PQconnectdb(conninfo_.c_str());
        if (PQstatus(conn_) != CONNECTION_OK) {
            const std::string why = conn_ ? PQerrorMessage(conn_) : "out of memory";
            PQfinish(conn_);
            conn_ = nullptr;
            throw SqlError("cannot connect to PostgreSQL: " + why);
        }
    }

    std::string conninfo_;
    PGconn* conn_ = nullptr;
};

} // namespace

std::unique_ptr<SqlConnection> openPostgres(const std::string& conninfo) {
    return std::make_unique<PostgresConnection>(conninfo);
}

std::string numberedPlaceholders(const std::string& sql) {
    std::string out;
    int n = 0;
    for (const char c : sql) {
        if (c == '?') {
            out += '$' + std::to_string(++n);
        } else {
            out += c;
        }
    }
    return out;
}
