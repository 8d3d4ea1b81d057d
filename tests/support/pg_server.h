// A PostgreSQL server of the test's own: initdb into a temporary folder as
// the postgres user, listening only on a Unix socket in that folder, stopped
// and removed when the object goes. Tests run as root; the server never does.
#pragma once

#include <string>

#include "process_run.h"

namespace test_support {

class pg_server {
public:
    // Throws std::runtime_error saying what is missing (the postgresql
    // package, the postgres user) or what initdb or the start printed.
    pg_server();
    ~pg_server();
    pg_server(const pg_server&) = delete;
    pg_server& operator=(const pg_server&) = delete;

    // A libpq URI for `database` as the postgres user over the socket.
    std::string uri(const std::string& database = "postgres") const;
    // Runs SQL through psql; returns its standard output. Throws on failure.
    std::string psql(const std::string& sql, const std::string& database = "postgres") const;
    void stop();  // the server ends (clients then fail to connect)

private:
    std::string pg_bin(const char* program) const;
    process_result as_postgres(std::vector<std::string> words) const;

    temp_dir dir_;
    std::string bin_;
    bool running_ = false;
};

}  // namespace test_support
