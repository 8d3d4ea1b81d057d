// The ledger on both of its databases: SQLite in a temporary file and a
// PostgreSQL server the test starts itself.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "ctl_refusal.h"
#include "ledger.h"
#include "pg_server.h"
#include "process_run.h"

namespace {

using test_support::pg_server;
using test_support::temp_dir;

// One server for the whole binary; every test gets a database of its own.
pg_server& shared_server() {
    static const auto server = std::make_unique<pg_server>();
    return *server;
}

class LedgerOn : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        static int databases = 0;
        if (GetParam() == "sqlite") {
            url_ = "sqlite:" + dir_ / "ledger.db";
            return;
        }
        const std::string name = "t" + std::to_string(++databases);
        shared_server().psql("CREATE DATABASE " + name);
        url_ = shared_server().uri(name);
    }
    std::unique_ptr<ledger> open() const { return open_ledger(url_); }

    temp_dir dir_;
    std::string url_;
};

pool_spec small_pool(const std::string& name, std::uint64_t first_mac, int blocks) {
    return {.name = name, .serial_prefix = "SN-" + name + "-", .serial_first = 1, .serial_digits = 4,
            .mac_first = first_mac, .mac_last = first_mac + static_cast<std::uint64_t>(blocks * 4) - 1, .per_card = 4};
}

card_claim claim(const std::string& pci, const std::string& host = "station-1") {
    return {pci, "0x8308", host, "/backups/" + pci, 4};
}

TEST_P(LedgerOn, AllocatesInOrderKeepsAReservationAndNeverReusesAVoidBlock) {
    const auto book = open();
    const pool_spec p = small_pool("a", 0x020000000000ULL, 4);
    book->register_pool(p, true);  // a dry run records nothing
    EXPECT_THROW(book->reserve(p, claim("0000:03:00.0")), ctl_error);
    book->register_pool(p);
    book->register_pool(p);
    const auto first = book->reserve(p, claim("0000:03:00.0"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->mac_first, p.mac_first);
    EXPECT_EQ(book->reserve(p, claim("0000:03:00.0"))->serial, "SN-a-0001");  // the same card asks again
    const auto second = book->reserve(p, claim("0000:04:00.0"));
    EXPECT_EQ(book->reserve(p, claim("0000:03:00.0", "station-2"))->mac_first, p.mac_first + 8);
    book->commit(*first);
    book->commit(*first);  // a second run on one card finds it committed
    EXPECT_EQ(book->reserve(p, claim("0000:03:00.0"))->serial, "SN-a-0004");  // committed: a new block
    EXPECT_FALSE(book->reserve(p, claim("0000:05:00.0")));
    book->void_serial(second->serial, "");
    EXPECT_FALSE(book->reserve(p, claim("0000:05:00.0")));
    EXPECT_FALSE(book->find_reservation("a", claim("0000:04:00.0")));
    EXPECT_THROW(book->commit(*second), ctl_error);
    expect_refused([&] { book->void_serial(second->serial, ""); }, second->serial);

    // A pool's definition never changes, and no two pools share an address.
    const struct {
        std::string field;
        void (*change)(pool_spec&);
    } changes[] = {
        {"serial.prefix", [](pool_spec& q) { q.serial_prefix = "X"; }},
        {"mac.per_card", [](pool_spec& q) { q.per_card = 2; }},
        {"mac.first", [](pool_spec& q) { q.name = "d", q.mac_first = q.mac_last, q.mac_last += 4; }},
    };
    for (const auto& c : changes) {
        pool_spec changed = p;
        c.change(changed);
        expect_refused([&] { book->register_pool(changed); }, "pool field " + c.field);
    }
    book->register_pool(small_pool("d", p.mac_last + 1, 4));  // right after it

    std::vector<std::string> listed;
    for (const ledger_row& r : open()->rows())
        listed.push_back(r.serial + " " + r.state + " " + r.host);
    EXPECT_EQ(listed, (std::vector<std::string>{"SN-a-0001 committed station-1", "SN-a-0002 void station-1",
                                                "SN-a-0003 reserved station-2", "SN-a-0004 reserved station-1"}));
}

TEST_P(LedgerOn, TheDatabaseItselfRefusesASecondRowWithASerialOrBlock) {
    const auto book = open();
    const pool_spec p = small_pool("e", 0x020000003000ULL, 4);
    book->register_pool(p);
    const auto row = book->reserve(p, claim("0000:03:00.0"));
    const auto link = open_sql_link(url_);
    const std::string insert =
        "INSERT INTO identities (pool, serial, block_index, mac_first, per_card, ports, state, pci_address,"
        " device_id, host, backup_dir, reserved_at) VALUES ('e', $1, $2, $3, 4, 4, 'reserved', 'x', 'x', 'x', 'x', 'x')";
    const std::string other_mac = std::to_string(p.mac_first + 100);
    EXPECT_THROW(link->run(insert, {row->serial, "7", other_mac}), ctl_error);
    EXPECT_THROW(link->run(insert, {"other", "0", other_mac}), ctl_error);
    EXPECT_THROW(link->run(insert, {"other", "7", std::to_string(p.mac_first)}), ctl_error);
    link->run(insert, {"other", "7", other_mac});
    EXPECT_EQ(book->rows("e").size(), 2u);
}

TEST_P(LedgerOn, ALedgerOfAnotherSchemaVersionIsRefused) {
    open();
    open_sql_link(url_)->run("UPDATE zelvoctl_ledger SET value = '2' WHERE key = 'schema_version'");
    expect_refused([&] { open(); }, "schema version 2", ctl_status::io_failure);
}

TEST_P(LedgerOn, StationsAllocatingAtOnceNeverShareAnIdentity) {
    constexpr int STATIONS = 4, CARDS = 12;
    const pool_spec p = small_pool("f", 0x020000004000ULL, STATIONS * CARDS);
    std::vector<pid_t> children;
    for (int s = 0; s < STATIONS; ++s) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {  // each station opens the ledger itself, the first use included
                const auto book = open();
                book->register_pool(p);
                for (int c = 0; c < CARDS; ++c) {
                    const auto row = book->reserve(p, claim("0000:" + std::to_string(c) + ":00.0", "s" + std::to_string(s)));
                    if (!row)
                        status = 2;
                    else if (c % 2 == 0)
                        book->commit(*row);
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "station %d: %s\n", s, e.what());
                status = 1;
            }
            ::_exit(status);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int ws = 0;
        ::waitpid(pid, &ws, 0);
        EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0) << "a station failed";
    }
    std::set<std::string> serials;
    std::set<std::uint64_t> blocks;
    for (const ledger_row& r : open()->rows("f")) {
        serials.insert(r.serial);
        blocks.insert(r.mac_first);
    }
    EXPECT_EQ(serials.size(), static_cast<std::size_t>(STATIONS * CARDS));
    EXPECT_EQ(blocks.size(), serials.size());
}

INSTANTIATE_TEST_SUITE_P(Databases, LedgerOn, testing::Values("sqlite", "postgresql"),
                         [](const testing::TestParamInfo<std::string>& i) { return i.param; });

// The database's own messages for a ledger that cannot be opened are pinned
// end to end; a kind of database it does not know is the caller's mistake.
TEST(ZelvoctlLedger, AnUnknownKindOfLedgerIsRefused) {
    expect_refused([] { open_ledger("mysql://line"); }, "neither sqlite:PATH");
}

}  // namespace
