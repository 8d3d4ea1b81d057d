#include "sql_link.h"

std::unique_ptr<sql_link> open_sql_link(const std::string& url) {
    if (url.starts_with("sqlite:") && url.size() > 7)
        return open_sqlite_link(url.substr(7));
    if (url.starts_with("postgresql://") || url.starts_with("postgres://"))
        return open_postgres_link(url);
    throw ctl_error(ctl_status::usage, "--ledger " + url + ": neither sqlite:PATH nor a postgresql:// URI");
}
