#include "ledger.h"

#include <ctime>
#include <filesystem>

namespace {

constexpr int CONFLICT_RETRIES = 20;

const char* const SCHEMA[] = {
    "CREATE TABLE IF NOT EXISTS pools ("
    " name TEXT PRIMARY KEY,"
    " serial_prefix TEXT NOT NULL, serial_first BIGINT NOT NULL, serial_digits INTEGER NOT NULL,"
    " mac_first BIGINT NOT NULL, mac_last BIGINT NOT NULL, per_card INTEGER NOT NULL,"
    " next_index BIGINT NOT NULL DEFAULT 0,"
    " created_at TEXT NOT NULL,"
    " CHECK (mac_first <= mac_last AND per_card > 0 AND next_index >= 0))",
    "CREATE TABLE IF NOT EXISTS identities ("
    " pool TEXT NOT NULL REFERENCES pools (name),"
    " serial TEXT NOT NULL,"
    " block_index BIGINT NOT NULL,"
    " mac_first BIGINT NOT NULL,"
    " per_card INTEGER NOT NULL,"
    " ports INTEGER NOT NULL,"
    " state TEXT NOT NULL CHECK (state IN ('reserved', 'committed', 'void')),"
    " pci_address TEXT NOT NULL, device_id TEXT NOT NULL, host TEXT NOT NULL, backup_dir TEXT NOT NULL,"
    " reserved_at TEXT NOT NULL, committed_at TEXT, voided_at TEXT,"
    " PRIMARY KEY (pool, serial),"
    " UNIQUE (pool, mac_first),"
    " UNIQUE (pool, block_index))",
    "CREATE INDEX IF NOT EXISTS identities_by_card ON identities (pool, state, pci_address, host)",
};

constexpr char ROW_COLUMNS[] =
    "pool, serial, block_index, mac_first, per_card, ports, state, pci_address, device_id, host, backup_dir,"
    " reserved_at, committed_at, voided_at";

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string at(const sql_row& row, std::size_t i) { return row.at(i).value_or(""); }
std::uint64_t number_at(const sql_row& row, std::size_t i) { return std::stoull(at(row, i)); }

ledger_row row_from(const sql_row& r) {
    return {at(r, 0), at(r, 1), number_at(r, 2), number_at(r, 3), static_cast<int>(number_at(r, 4)),
            static_cast<int>(number_at(r, 5)), at(r, 6), at(r, 7), at(r, 8), at(r, 9), at(r, 10),
            at(r, 11), at(r, 12), at(r, 13)};
}

[[noreturn]] void pool_differs(const pool_spec& p, const char* field, const std::string& recorded) {
    throw ctl_error(ctl_status::usage, "pool field " + std::string(field) + ": the ledger recorded pool " + p.name +
                                           " with " + recorded + "; a pool's definition never changes (name a new pool)");
}

}  // namespace

template <typename Work>
auto ledger::transaction(bool whole_ledger, Work work) {
    const std::lock_guard lock(mu_);
    for (int attempt = 1;; ++attempt) {
        try {
            link_->begin(whole_ledger);
            auto result = work();
            link_->run("COMMIT");
            return result;
        } catch (const ctl_error& e) {
            try {
                link_->run("ROLLBACK");
            } catch (const ctl_error&) {
                // No transaction was open (BEGIN itself failed): nothing to undo.
            }
            if (dynamic_cast<const sql_conflict*>(&e) == nullptr || attempt == CONFLICT_RETRIES)
                throw;
        }
    }
}

ledger::ledger(std::unique_ptr<sql_link> link) : link_(std::move(link)) {
    const std::string found = transaction(true, [&] {
        link_->run("CREATE TABLE IF NOT EXISTS zelvoctl_ledger (key TEXT PRIMARY KEY, value TEXT NOT NULL)");
        link_->run("INSERT INTO zelvoctl_ledger (key, value) VALUES ('schema_version', $1) ON CONFLICT (key) DO NOTHING",
                   {std::to_string(LEDGER_SCHEMA_VERSION)});
        const auto rows = link_->run("SELECT value FROM zelvoctl_ledger WHERE key = 'schema_version'");
        const std::string version = rows.empty() ? "" : at(rows.front(), 0);
        if (version == std::to_string(LEDGER_SCHEMA_VERSION))
            for (const char* statement : SCHEMA)
                link_->run(statement);
        return version;
    });
    if (found != std::to_string(LEDGER_SCHEMA_VERSION))
        throw ctl_error(ctl_status::io_failure, "ledger schema version " + found + ", this zelvoctl knows version " +
                                                    std::to_string(LEDGER_SCHEMA_VERSION));
}

void ledger::register_pool(const pool_spec& p, bool check_only) {
    transaction(true, [&] {
        const auto rows = link_->run(
            "SELECT serial_prefix, serial_first, serial_digits, mac_first, mac_last, per_card FROM pools WHERE name = $1",
            {p.name});
        if (!rows.empty()) {
            const sql_row& r = rows.front();
            if (at(r, 0) != p.serial_prefix)
                pool_differs(p, "serial.prefix", "'" + at(r, 0) + "'");
            if (number_at(r, 1) != p.serial_first)
                pool_differs(p, "serial.first", at(r, 1));
            if (number_at(r, 2) != static_cast<std::uint64_t>(p.serial_digits))
                pool_differs(p, "serial.digits", at(r, 2));
            if (number_at(r, 3) != p.mac_first)
                pool_differs(p, "mac.first", mac_string(number_at(r, 3)));
            if (number_at(r, 4) != p.mac_last)
                pool_differs(p, "mac.last", mac_string(number_at(r, 4)));
            if (number_at(r, 5) != static_cast<std::uint64_t>(p.per_card))
                pool_differs(p, "mac.per_card", at(r, 5));
            return 0;
        }
        // A MAC address belongs to one card in the world, whichever pool gave it.
        const auto overlap = link_->run("SELECT name FROM pools WHERE mac_first <= $1 AND mac_last >= $2",
                                        {std::to_string(p.mac_last), std::to_string(p.mac_first)});
        if (!overlap.empty())
            throw ctl_error(ctl_status::usage, "pool field mac.first: the range " + mac_string(p.mac_first) + " to " +
                                                   mac_string(p.mac_last) + " overlaps pool " + at(overlap.front(), 0) +
                                                   " in the ledger");
        if (!check_only)
            link_->run("INSERT INTO pools (name, serial_prefix, serial_first, serial_digits, mac_first, mac_last,"
                       " per_card, next_index, created_at) VALUES ($1, $2, $3, $4, $5, $6, $7, 0, $8)",
                       {p.name, p.serial_prefix, std::to_string(p.serial_first), std::to_string(p.serial_digits),
                        std::to_string(p.mac_first), std::to_string(p.mac_last), std::to_string(p.per_card), utc_now()});
        return 0;
    });
}

std::vector<ledger_row> ledger::select_rows(const std::string& where, const std::vector<std::string>& params) {
    std::vector<ledger_row> out;
    for (const sql_row& r : link_->run(std::string("SELECT ") + ROW_COLUMNS + " FROM identities " + where +
                                           " ORDER BY pool, block_index",
                                       params))
        out.push_back(row_from(r));
    return out;
}

std::optional<ledger_row> ledger::find_serial(const std::string& pool, const std::string& serial) {
    const std::lock_guard lock(mu_);
    const auto rows = select_rows("WHERE pool = $1 AND serial = $2", {pool, serial});
    return rows.empty() ? std::nullopt : std::optional(rows.front());
}

std::optional<ledger_row> ledger::find_reservation(const std::string& pool, const card_claim& card) {
    const std::lock_guard lock(mu_);
    const auto rows = select_rows(
        "WHERE pool = $1 AND state = 'reserved' AND pci_address = $2 AND device_id = $3 AND host = $4",
        {pool, card.pci_address, card.device_id, card.host});
    return rows.empty() ? std::nullopt : std::optional(rows.front());
}

std::optional<ledger_row> ledger::reserve(const pool_spec& p, const card_claim& card) {
    return transaction(false, [&]() -> std::optional<ledger_row> {
        const auto counter = link_->run(std::string("SELECT next_index FROM pools WHERE name = $1") + link_->for_update(),
                                        {p.name});
        if (counter.empty())
            throw ctl_error(ctl_status::usage, "pool " + p.name + " is not in the ledger");
        // Under the counter's lock no other run of this pool can be between
        // its own look-up and its reservation.
        const auto mine = select_rows(
            "WHERE pool = $1 AND state = 'reserved' AND pci_address = $2 AND device_id = $3 AND host = $4",
            {p.name, card.pci_address, card.device_id, card.host});
        if (!mine.empty())
            return mine.front();
        const std::uint64_t index = number_at(counter.front(), 0);
        if (index >= p.blocks())
            return std::nullopt;
        ledger_row row{p.name, p.serial(index), index, p.block_first(index), p.per_card, card.ports, "reserved",
                       card.pci_address, card.device_id, card.host, card.backup_dir, utc_now(), "", ""};
        link_->run("INSERT INTO identities (pool, serial, block_index, mac_first, per_card, ports, state,"
                   " pci_address, device_id, host, backup_dir, reserved_at)"
                   " VALUES ($1, $2, $3, $4, $5, $6, 'reserved', $7, $8, $9, $10, $11)",
                   {row.pool, row.serial, std::to_string(index), std::to_string(row.mac_first),
                    std::to_string(row.per_card), std::to_string(row.ports), row.pci_address, row.device_id, row.host,
                    row.backup_dir, row.reserved_at});
        link_->run("UPDATE pools SET next_index = $1 WHERE name = $2", {std::to_string(index + 1), p.name});
        return row;
    });
}

std::uint64_t ledger::next_index(const std::string& pool) {
    const std::lock_guard lock(mu_);
    const auto rows = link_->run("SELECT next_index FROM pools WHERE name = $1", {pool});
    return rows.empty() ? 0 : number_at(rows.front(), 0);
}

void ledger::record_backup(const ledger_row& row) {
    const std::lock_guard lock(mu_);
    link_->run("UPDATE identities SET backup_dir = $1 WHERE pool = $2 AND serial = $3",
               {row.backup_dir, row.pool, row.serial});
}

void ledger::commit(const ledger_row& row) {
    transaction(false, [&] {
        const auto done = link_->run("UPDATE identities SET state = 'committed', committed_at = $1"
                                     " WHERE pool = $2 AND serial = $3 AND state = 'reserved' RETURNING serial",
                                     {utc_now(), row.pool, row.serial});
        if (!done.empty())
            return 0;
        // Another run on the same card (two commands at once) may have
        // committed it first; a void row stays void.
        const auto now = select_rows("WHERE pool = $1 AND serial = $2", {row.pool, row.serial});
        if (now.empty() || now.front().state != "committed")
            throw ctl_error(ctl_status::io_failure, "ledger: serial " + row.serial + " of pool " + row.pool +
                                                        " was voided while its card was written");
        return 0;
    });
}

ledger_row ledger::void_serial(const std::string& serial, const std::string& pool) {
    return transaction(false, [&] {
        const auto found = pool.empty() ? select_rows("WHERE serial = $1", {serial})
                                        : select_rows("WHERE serial = $1 AND pool = $2", {serial, pool});
        if (found.empty())
            throw ctl_error(ctl_status::usage, "serial " + serial + " is not in the ledger" +
                                                   (pool.empty() ? "" : " for pool " + pool));
        if (found.size() > 1)
            throw ctl_error(ctl_status::usage, "serial " + serial + " is in several pools: name one with --pool");
        ledger_row row = found.front();
        if (row.state == "void")
            throw ctl_error(ctl_status::usage, "serial " + serial + " of pool " + row.pool + " is void already");
        row.voided_at = utc_now();
        link_->run("UPDATE identities SET state = 'void', voided_at = $1 WHERE pool = $2 AND serial = $3",
                   {row.voided_at, row.pool, row.serial});
        row.state = "void";
        return row;
    });
}

std::vector<ledger_row> ledger::rows(const std::string& pool) {
    const std::lock_guard lock(mu_);
    return pool.empty() ? select_rows("", {}) : select_rows("WHERE pool = $1", {pool});
}

std::unique_ptr<ledger> open_ledger(const std::string& url) {
    if (url == DEFAULT_LEDGER) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(url.substr(7)).parent_path(), ec);
    }
    return std::make_unique<ledger>(open_sql_link(url));
}
