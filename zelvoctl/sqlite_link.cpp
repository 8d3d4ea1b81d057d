// The ledger on an SQLite file: one station's own database. Every write
// transaction is BEGIN IMMEDIATE, so it holds the file's write lock from its
// first statement; others wait for it (busy time-out) instead of failing.
// The file must be on a local file system (the write-ahead log's index is
// shared memory).
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "sql_link.h"

namespace {

constexpr int BUSY_WAIT_MS = 30000;
constexpr int RETRY_PAUSE_MS = 10;

struct db_close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct stmt_finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

class sqlite_link : public sql_link {
public:
    explicit sqlite_link(const std::string& path) {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        db_.reset(raw);
        if (rc != SQLITE_OK)
            throw ctl_error(ctl_status::io_failure, "ledger sqlite:" + path + ": " +
                                                        (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
        sqlite3_busy_timeout(raw, BUSY_WAIT_MS);
        run("PRAGMA foreign_keys = ON", {});
        // One flush per transaction (of the write-ahead log) instead of the
        // rollback journal's several; still every commit is on disk.
        run_waiting("PRAGMA journal_mode = WAL");
        run("PRAGMA synchronous = FULL", {});
    }

    std::vector<sql_row> run(const std::string& sql, const std::vector<std::string>& params) override {
        sqlite3_stmt* raw = nullptr;
        check(sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr));
        const std::unique_ptr<sqlite3_stmt, stmt_finalize> stmt(raw);
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int at = sqlite3_bind_parameter_index(raw, ("$" + std::to_string(i + 1)).c_str());
            if (at > 0)
                check(sqlite3_bind_text(raw, at, params[i].c_str(), -1, SQLITE_TRANSIENT));
        }
        std::vector<sql_row> rows;
        for (;;) {
            const int rc = sqlite3_step(raw);
            if (rc == SQLITE_DONE)
                return rows;
            if (rc != SQLITE_ROW)
                check(rc);
            sql_row& row = rows.emplace_back();
            for (int c = 0; c < sqlite3_column_count(raw); ++c) {
                const auto* text = sqlite3_column_text(raw, c);
                row.push_back(text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt);
            }
        }
    }

    void begin(bool) override { run("BEGIN IMMEDIATE", {}); }
    const char* for_update() const override { return ""; }

private:
    // Switching the journal of a file that other stations are opening at the
    // same moment is answered "busy" at once, without the busy handler's wait:
    // wait here, as long as the busy time-out would.
    void run_waiting(const std::string& sql) {
        for (int waited_ms = 0;; waited_ms += RETRY_PAUSE_MS) {
            try {
                run(sql, {});
                return;
            } catch (const sql_conflict&) {
                if (waited_ms >= BUSY_WAIT_MS)
                    throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(RETRY_PAUSE_MS));
            }
        }
    }

    void check(int rc) {
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
            return;
        const std::string message = std::string("ledger: ") + sqlite3_errmsg(db_.get());
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            throw sql_conflict(message);
        throw ctl_error(ctl_status::io_failure, message);
    }

    std::unique_ptr<sqlite3, db_close> db_;
};

}  // namespace

std::unique_ptr<sql_link> open_sqlite_link(const std::string& path) { return std::make_unique<sqlite_link>(path); }
