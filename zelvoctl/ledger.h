// The ledger of identities given out from pools: one row per serial number
// and MAC block, `reserved` before the card is written, `committed` once it
// read back, `void` when its card is gone. Serial and block are unique per
// pool in the database itself; a pool's counter only moves forward, so no
// serial or block is handed out twice, whatever happens to the card. The
// tables are described in ledger_schema.md.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pool.h"
#include "sql_link.h"

constexpr char DEFAULT_LEDGER[] = "sqlite:/var/lib/zelvoctl/ledger.db";
constexpr int LEDGER_SCHEMA_VERSION = 1;

struct ledger_row {
    std::string pool, serial;
    std::uint64_t block_index = 0, mac_first = 0;
    int per_card = 0, ports = 0;
    std::string state;  // reserved, committed, void
    std::string pci_address, device_id, host, backup_dir;
    std::string reserved_at, committed_at, voided_at;  // UTC, "" when not reached
};

// The card a reservation is made for, as the row records it.
struct card_claim {
    std::string pci_address, device_id, host, backup_dir;
    int ports = 0;
};

// Every call is one transaction (or a plain read) and may be made from
// several threads: calls take turns on the one connection.
class ledger {
public:
    // Creates the tables on first use; refuses (I/O failure) a ledger whose
    // schema is of another version.
    explicit ledger(std::unique_ptr<sql_link> link);

    // Records the pool on first use. Refuses (usage error, naming the field)
    // a pool whose definition differs from the recorded one, or one whose MAC
    // range overlaps another pool's. With `check_only` nothing is written.
    void register_pool(const pool_spec& pool, bool check_only = false);

    std::optional<ledger_row> find_serial(const std::string& pool, const std::string& serial);
    // A reservation left for this card (same address, device id and station).
    std::optional<ledger_row> find_reservation(const std::string& pool, const card_claim& card);

    // The next serial and block, recorded as reserved for `card`; the card's
    // own reservation when it already has one. nullopt: the pool is used up.
    std::optional<ledger_row> reserve(const pool_spec& pool, const card_claim& card);
    // Index of the next block reserve() would hand out (the pool need not be
    // recorded yet).
    std::uint64_t next_index(const std::string& pool);

    // The row's backup folder becomes row.backup_dir.
    void record_backup(const ledger_row& row);
    // reserved -> committed; a row committed already stays so. Throws an I/O
    // failure for a void row.
    void commit(const ledger_row& row);
    // Marks the row of SERIAL void (in `pool`, or the only pool holding it).
    // Throws a usage error when there is none, several, or it is void already.
    ledger_row void_serial(const std::string& serial, const std::string& pool);

    // Rows in pool and block order; `pool` empty: every pool.
    std::vector<ledger_row> rows(const std::string& pool = "");

private:
    template <typename Work>
    auto transaction(bool whole_ledger, Work work);
    std::vector<ledger_row> select_rows(const std::string& where, const std::vector<std::string>& params);

    std::mutex mu_;
    std::unique_ptr<sql_link> link_;
};

// Opens the ledger a --ledger URL names (the default one's folder is created
// when missing).
std::unique_ptr<ledger> open_ledger(const std::string& url);
