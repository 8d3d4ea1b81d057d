#include "pg_server.h"

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace test_support {

namespace fs = std::filesystem;

namespace {

std::string newest_bin_dir() {
    std::string best;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec))
        if (fs::exists(entry.path() / "bin/initdb") && entry.path().string() > best)
            best = entry.path().string();
    if (best.empty())
        throw std::runtime_error("no PostgreSQL server found (/usr/lib/postgresql/*/bin/initdb): scripts/setup "
                                 "installs the postgresql package");
    return best + "/bin/";
}

process_result as_postgres(std::vector<std::string> words) {
    words.insert(words.begin(), {"/usr/sbin/runuser", "-u", "postgres", "--"});
    return run_process(words, 120);
}

}  // namespace

pg_server::pg_server() : bin_(newest_bin_dir()) {
    const passwd* pw = ::getpwnam("postgres");
    if (pw == nullptr)
        throw std::runtime_error("no postgres user: the postgresql package makes it");
    if (::chown(dir_.path().c_str(), pw->pw_uid, pw->pw_gid) != 0)
        throw std::runtime_error("cannot hand " + dir_.path() + " to the postgres user");
    const process_result init =
        as_postgres({bin_ + "initdb", "-D", dir_ / "data", "-A", "trust", "-U", "postgres", "--no-sync", "-E", "UTF8"});
    if (init.status != 0)
        throw std::runtime_error("initdb failed: " + init.out + init.err);
    const process_result start = as_postgres(
        {bin_ + "pg_ctl", "-D", dir_ / "data", "-l", dir_ / "server.log", "-w", "-t", "60", "-o",
         "-c listen_addresses='' -c unix_socket_directories='" + dir_.path() + "' -c fsync=off", "start"});
    if (start.status != 0)
        throw std::runtime_error("the PostgreSQL server did not start: " + start.out + start.err);
}

pg_server::~pg_server() { as_postgres({bin_ + "pg_ctl", "-D", dir_ / "data", "-m", "immediate", "-w", "stop"}); }

std::string pg_server::uri(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + dir_.path() + "&user=postgres";
}

void pg_server::psql(const std::string& sql) const {
    const process_result r = as_postgres({bin_ + "psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", dir_.path(), "-U",
                                          "postgres", "-d", "postgres", "-c", sql});
    if (r.status != 0)
        throw std::runtime_error("psql failed: " + r.err);
}

}  // namespace test_support
