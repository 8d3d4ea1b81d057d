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
    // Runs SQL through psql; throws on failure.
    void psql(const std::string& sql) const;

private:
    temp_dir dir_;
    std::string bin_;  // the server's programs, ending in '/'
};

}  // namespace test_support
