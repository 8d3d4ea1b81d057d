// One connection to the ledger's database, SQLite or PostgreSQL: the ledger
// speaks plain SQL through it. Statements take their parameters as text in
// $1, $2 ... and give rows of text (nullopt for NULL).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ctl_error.h"

using sql_row = std::vector<std::optional<std::string>>;

// A transaction that lost against another station (a serialisation failure,
// a deadlock, a database still busy): trying it again is safe.
class sql_conflict : public ctl_error {
public:
    explicit sql_conflict(const std::string& message) : ctl_error(ctl_status::io_failure, message) {}
};

class sql_link {
public:
    virtual ~sql_link() = default;

    // Runs one statement. Throws sql_conflict, or an I/O failure carrying the
    // database's own message.
    virtual std::vector<sql_row> run(const std::string& sql, const std::vector<std::string>& params = {}) = 0;

    // Starts a transaction. `whole_ledger`: no other station writes the
    // ledger until it ends (schema and pool changes); otherwise only the rows
    // the transaction locks with for_update() are held.
    virtual void begin(bool whole_ledger) = 0;

    // What follows a SELECT that must lock the rows it reads until the
    // transaction ends ("" where the transaction already holds the database).
    virtual const char* for_update() const = 0;
};

// "sqlite:PATH" or a PostgreSQL URI ("postgresql://..." or "postgres://...").
// A ledger that cannot be opened or reached throws an I/O failure with the
// database's message; any other form of URL a usage error.
std::unique_ptr<sql_link> open_sql_link(const std::string& url);

std::unique_ptr<sql_link> open_sqlite_link(const std::string& path);
std::unique_ptr<sql_link> open_postgres_link(const std::string& uri);
