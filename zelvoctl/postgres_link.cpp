// The ledger on a PostgreSQL server, shared by the stations of a line.
// Allocation locks the pool's counter row (SELECT ... FOR UPDATE): stations
// take turns on one pool. Schema and pool changes take a transaction-wide
// advisory lock, so two stations creating the tables at once do not collide.
#include <libpq-fe.h>

#include "sql_link.h"

namespace {

constexpr char WHOLE_LEDGER_LOCK[] = "SELECT pg_advisory_xact_lock(7305710019)";

struct conn_finish {
    void operator()(PGconn* c) const { PQfinish(c); }
};
struct result_clear {
    void operator()(PGresult* r) const { PQclear(r); }
};
using result_ptr = std::unique_ptr<PGresult, result_clear>;

std::string trimmed(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

class postgres_link : public sql_link {
public:
    explicit postgres_link(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {
        if (!conn_)
            throw ctl_error(ctl_status::io_failure, "ledger: out of memory connecting to PostgreSQL");
        if (PQstatus(conn_.get()) != CONNECTION_OK)
            throw ctl_error(ctl_status::io_failure, "ledger: " + trimmed(PQerrorMessage(conn_.get())));
        run("SET client_min_messages = warning", {});
    }

    std::vector<sql_row> run(const std::string& sql, const std::vector<std::string>& params) override {
        std::vector<const char*> values;
        for (const std::string& p : params)
            values.push_back(p.c_str());
        const result_ptr res(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                                          values.data(), nullptr, nullptr, 0));
        const ExecStatusType st = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
            const std::string message = "ledger: " + trimmed(res ? PQresultErrorMessage(res.get())
                                                                 : PQerrorMessage(conn_.get()));
            const char* state = res ? PQresultErrorField(res.get(), PG_DIAG_SQLSTATE) : nullptr;
            const std::string code = state ? state : "";
            if (code == "40001" || code == "40P01")
                throw sql_conflict(message);
            throw ctl_error(ctl_status::io_failure, message);
        }
        std::vector<sql_row> rows(static_cast<std::size_t>(PQntuples(res.get())));
        for (int r = 0; r < PQntuples(res.get()); ++r)
            for (int c = 0; c < PQnfields(res.get()); ++c)
                rows[static_cast<std::size_t>(r)].push_back(
                    PQgetisnull(res.get(), r, c) ? std::nullopt : std::optional<std::string>(PQgetvalue(res.get(), r, c)));
        return rows;
    }

    void begin(bool whole_ledger) override {
        run("BEGIN", {});
        if (whole_ledger)
            run(WHOLE_LEDGER_LOCK, {});
    }
    const char* for_update() const override { return " FOR UPDATE"; }

private:
    std::unique_ptr<PGconn, conn_finish> conn_;
};

}  // namespace

std::unique_ptr<sql_link> open_postgres_link(const std::string& uri) { return std::make_unique<postgres_link>(uri); }
