// The PostgreSQL engine through libpq: parameterised statements, each prepared once per
// session, with their values sent as texts, the results read back as texts. The connection is
// re-established once if the server dropped it (a restart of the database should not need a restart
// of the portal).
#include "portal/sql.h"

#include <libpq-fe.h>

#include <cstdint>
#include <exception>
#include <unordered_map>

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
        Params values(params);
        const std::string& name = prepare(sql, params.size());
        PGresult* result = PQexecPrepared(conn_, name.c_str(), static_cast<int>(params.size()),
                                          values.pointers.data(), nullptr, nullptr, 0);
        Clear clear{result};
        const auto status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            throw SqlError(std::string("postgresql: ") + PQerrorMessage(conn_));
        }
        std::vector<SqlRow> rows;
        for (int r = 0; r < PQntuples(result); ++r) {
            rows.push_back(rowOf(result, r));
        }
        return rows;
    }

    // The rows one at a time (libpq's single-row mode); the result is read to its end
    // however `take` fares, so that the session stays usable.
    void each(const std::string& sql, const std::vector<SqlValue>& params,
              const std::function<void(SqlRow&&)>& take) override {
        Params values(params);
        const std::string& name = prepare(sql, params.size());
        if (!PQsendQueryPrepared(conn_, name.c_str(), static_cast<int>(params.size()),
                                 values.pointers.data(), nullptr, nullptr, 0)) {
            throw SqlError(std::string("postgresql: ") + PQerrorMessage(conn_));
        }
        PQsetSingleRowMode(conn_);
        std::string error;
        std::exception_ptr thrown;
        while (PGresult* result = PQgetResult(conn_)) {
            Clear clear{result};
            const auto status = PQresultStatus(result);
            if (status == PGRES_SINGLE_TUPLE) {
                if (!thrown && error.empty()) {
                    try {
                        take(rowOf(result, 0));
                    } catch (...) {
                        thrown = std::current_exception();
                    }
                }
            } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && error.empty()) {
                error = std::string("postgresql: ") + PQerrorMessage(conn_);
            }
        }
        if (thrown) {
            std::rethrow_exception(thrown);
        }
        if (!error.empty()) {
            throw SqlError(error);
        }
    }

  private:
    // The values as texts, NULL as a null pointer.
    struct Params {
        explicit Params(const std::vector<SqlValue>& params)
            : texts(params.size()), pointers(params.size(), nullptr) {
            for (std::size_t i = 0; i < params.size(); ++i) {
                if (const auto* n = std::get_if<std::int64_t>(&params[i])) {
                    texts[i] = std::to_string(*n);
                    pointers[i] = texts[i].c_str();
                } else if (const auto* s = std::get_if<std::string>(&params[i])) {
                    texts[i] = *s;
                    pointers[i] = texts[i].c_str();
                }
            }
        }
        std::vector<std::string> texts;
        std::vector<const char*> pointers;
    };
    struct Clear {
        PGresult* r;
        ~Clear() { PQclear(r); }
    };

    static SqlRow rowOf(PGresult* result, int r) {
        SqlRow row;
        for (int c = 0; c < PQnfields(result); ++c) {
            if (PQgetisnull(result, r, c)) {
                row.emplace_back();
            } else {
                row.emplace_back(std::string(PQgetvalue(result, r, c),
                                             static_cast<std::size_t>(PQgetlength(result, r, c))));
            }
        }
        return row;
    }

    // The statement's name in a live session.
    const std::string& prepare(const std::string& sql, std::size_t parameters) {
        if (PQstatus(conn_) != CONNECTION_OK) {
            PQreset(conn_);
            prepared_.clear(); // a new session knows none of them
        }
        return statement(sql, static_cast<int>(parameters));
    }

    // Each distinct statement is parsed once per session and then run by its name.
    const std::string& statement(const std::string& sql, int parameters) {
        if (const auto found = prepared_.find(sql); found != prepared_.end()) {
            return found->second;
        }
        if (prepared_.size() >= 128) {
            PQclear(PQexec(conn_, "DEALLOCATE ALL"));
            prepared_.clear();
        }
        const std::string name = "s" + std::to_string(++named_);
        PGresult* result =
            PQprepare(conn_, name.c_str(), numberedPlaceholders(sql).c_str(), parameters, nullptr);
        const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
        if (!ok) {
            throw SqlError(std::string("postgresql: ") + PQerrorMessage(conn_));
        }
        return prepared_.emplace(sql, name).first->second;
    }

    void connect() {
        conn_ = PQconnectdb(conninfo_.c_str());
        if (PQstatus(conn_) != CONNECTION_OK) {
            const std::string why = conn_ ? PQerrorMessage(conn_) : "out of memory";
            PQfinish(conn_);
            conn_ = nullptr;
            throw SqlError("cannot connect to PostgreSQL: " + why);
        }
        // Errors without their DETAIL, which may quote a row's values (a member's address
        // in a duplicate key): the messages go to the log.
        PQsetErrorVerbosity(conn_, PQERRORS_TERSE);
    }

    std::string conninfo_;
    PGconn* conn_ = nullptr;
    std::unordered_map<std::string, std::string> prepared_;
    std::uint64_t named_ = 0;
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
