// The ledger on both of its databases: SQLite in a temporary file and a
// PostgreSQL server the test starts itself. Allocation order, a card keeping
// its reservation, a used-up pool, fixed pool definitions, constraints in the
// database itself, void rows never coming back, stations allocating at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "ledger.h"
#include "pg_server.h"
#include "process_run.h"

namespace {

using test_support::pg_server;
using test_support::temp_dir;

// One server for the whole binary; every test gets a database of its own.
pg_server& shared_server() {
    static std::unique_ptr<pg_server> server;
    if (!server)
        server = std::make_unique<pg_server>();
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

pool_spec small_pool(const std::string& name, std::uint64_t first_mac, int blocks, int per_card = 4) {
    pool_spec p;
    p.name = name;
    p.serial_prefix = "SN-" + name + "-";
    p.serial_first = 1;
    p.serial_digits = 4;
    p.mac_first = first_mac;
    p.mac_last = first_mac + static_cast<std::uint64_t>(blocks * per_card) - 1;
    p.per_card = per_card;
    return p;
}

card_claim claim(const std::string& pci, const std::string& host = "station-1") {
    return {pci, "0x8308", host, "/backups/" + pci, 4};
}

TEST_P(LedgerOn, AllocatesInOrderAndACardKeepsItsReservation) {
    const auto book = open();
    const pool_spec p = small_pool("a", 0x020000000000ULL, 8);
    book->register_pool(p);
    const auto first = book->reserve(p, claim("0000:03:00.0"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->serial, "SN-a-0001");
    EXPECT_EQ(first->mac_first, p.mac_first);
    EXPECT_EQ(first->state, "reserved");
    // The same card asks again (a run that was ended early): the same row.
    EXPECT_EQ(book->reserve(p, claim("0000:03:00.0"))->serial, "SN-a-0001");
    // Another card, or the same address on another station: the next block.
    EXPECT_EQ(book->reserve(p, claim("0000:04:00.0"))->serial, "SN-a-0002");
    const auto other_station = book->reserve(p, claim("0000:03:00.0", "station-2"));
    EXPECT_EQ(other_station->serial, "SN-a-0003");
    EXPECT_EQ(other_station->mac_first, p.mac_first + 8);
    EXPECT_EQ(book->next_index("a"), 3u);

    book->commit(*first);
    EXPECT_EQ(book->find_serial("a", "SN-a-0001")->state, "committed");
    EXPECT_FALSE(book->find_reservation("a", claim("0000:03:00.0")));
    EXPECT_EQ(book->find_reservation("a", claim("0000:04:00.0"))->serial, "SN-a-0002");
    // A committed card asking again is given a new block, never its old row
    // (the caller looks the card's serial up first).
    EXPECT_EQ(book->reserve(p, claim("0000:03:00.0"))->serial, "SN-a-0004");
    book->commit(*first);  // two runs on one card: the second finds it committed

    std::vector<std::string> listed;
    for (const ledger_row& r : open()->rows())
        listed.push_back(r.serial + " " + r.state + " " + r.host);
    EXPECT_EQ(listed, (std::vector<std::string>{"SN-a-0001 committed station-1", "SN-a-0002 reserved station-1",
                                                "SN-a-0003 reserved station-2", "SN-a-0004 reserved station-1"}));
}

TEST_P(LedgerOn, AUsedUpPoolGivesNothingAndAVoidBlockNeverComesBack) {
    const auto book = open();
    const pool_spec p = small_pool("b", 0x020000001000ULL, 2);
    book->register_pool(p);
    const auto one = book->reserve(p, claim("0000:03:00.0"));
    ASSERT_TRUE(one);
    ASSERT_TRUE(book->reserve(p, claim("0000:04:00.0")));
    EXPECT_FALSE(book->reserve(p, claim("0000:05:00.0")));
    EXPECT_EQ(book->void_serial(one->serial, "").state, "void");
    EXPECT_FALSE(book->reserve(p, claim("0000:05:00.0")));
    EXPECT_FALSE(book->find_reservation("b", claim("0000:03:00.0")));
    EXPECT_THROW(book->commit(*one), ctl_error);

    const struct {
        std::string serial, pool;
    } refused[] = {{one->serial, ""}, {"SN-b-0099", ""}, {"SN-b-0002", "elsewhere"}};
    for (const auto& r : refused) {
        try {
            book->void_serial(r.serial, r.pool);
            ADD_FAILURE() << "voided " << r.serial;
        } catch (const ctl_error& e) {
            EXPECT_EQ(e.status(), ctl_status::usage) << e.what();
        }
    }
}

TEST_P(LedgerOn, APoolKeepsItsDefinitionAndNoTwoPoolsShareAnAddress) {
    const auto book = open();
    const pool_spec p = small_pool("c", 0x020000002000ULL, 4);
    book->register_pool(p, true);  // a dry run records nothing
    EXPECT_THROW(book->reserve(p, claim("0000:03:00.0")), ctl_error);
    book->register_pool(p);
    book->register_pool(p);

    const struct {
        std::string field;
        void (*change)(pool_spec&);
    } cases[] = {
        {"serial.prefix", [](pool_spec& q) { q.serial_prefix = "X"; }},
        {"serial.first", [](pool_spec& q) { q.serial_first = 2; }},
        {"serial.digits", [](pool_spec& q) { q.serial_digits = 5; }},
        {"mac.first", [](pool_spec& q) { q.mac_first += 4; }},
        {"mac.last", [](pool_spec& q) { q.mac_last += 4; }},
        {"mac.per_card", [](pool_spec& q) { q.per_card = 2; }},
        // Another pool over the last address of this one.
        {"mac.first", [](pool_spec& q) { q.name = "d", q.mac_first = q.mac_last, q.mac_last += 4; }},
    };
    for (const auto& c : cases) {
        pool_spec changed = p;
        c.change(changed);
        try {
            book->register_pool(changed);
            ADD_FAILURE() << "accepted a change of " << c.field;
        } catch (const ctl_error& e) {
            EXPECT_EQ(e.status(), ctl_status::usage);
            EXPECT_NE(std::string(e.what()).find("pool field " + c.field), std::string::npos) << e.what();
        }
    }
    book->register_pool(small_pool("d", p.mac_last + 1, 4));  // right after it
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
    const struct {
        std::string serial, block_index, mac_first;
    } cases[] = {
        {row->serial, "7", std::to_string(p.mac_first + 100)},
        {"other", "0", std::to_string(p.mac_first + 100)},
        {"other", "7", std::to_string(p.mac_first)},
    };
    for (const auto& c : cases)
        EXPECT_THROW(link->run(insert, {c.serial, c.block_index, c.mac_first}), ctl_error) << c.serial;
    link->run(insert, {"other", "7", std::to_string(p.mac_first + 100)});  // a distinct row is taken
    EXPECT_EQ(book->rows("e").size(), 2u);
}

TEST_P(LedgerOn, ALedgerOfAnotherSchemaVersionIsRefused) {
    open();
    open_sql_link(url_)->run("UPDATE zelvoctl_ledger SET value = '2' WHERE key = 'schema_version'");
    try {
        open();
        ADD_FAILURE() << "opened a version 2 ledger";
    } catch (const ctl_error& e) {
        EXPECT_EQ(e.status(), ctl_status::io_failure);
        EXPECT_NE(std::string(e.what()).find("schema version 2"), std::string::npos) << e.what();
    }
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
    const auto rows = open()->rows("f");
    std::set<std::string> serials;
    std::set<std::uint64_t> blocks;
    for (const ledger_row& r : rows) {
        serials.insert(r.serial);
        blocks.insert(r.mac_first);
    }
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(STATIONS * CARDS));
    EXPECT_EQ(serials.size(), rows.size());
    EXPECT_EQ(blocks.size(), rows.size());
    EXPECT_FALSE(open()->reserve(p, claim("0000:99:00.0")));
}

INSTANTIATE_TEST_SUITE_P(Databases, LedgerOn, testing::Values("sqlite", "postgresql"),
                         [](const testing::TestParamInfo<std::string>& i) { return i.param; });

TEST(ZelvoctlLedger, ALedgerThatCannotBeReachedIsAnErrorWithTheDatabasesMessage) {
    const temp_dir no_server;
    const struct {
        std::string url;
        ctl_status status;
        std::string said;
    } cases[] = {
        {"sqlite:/nonexistent-folder/ledger.db", ctl_status::io_failure, "unable to open database file"},
        {"postgresql:///postgres?host=" + no_server.path() + "&user=postgres", ctl_status::io_failure, "No such file"},
        {shared_server().uri("postgres").replace(shared_server().uri("postgres").find("user=postgres"), 13,
                                                 "user=nobody_here"),
         ctl_status::io_failure, "nobody_here"},
        {"mysql://line", ctl_status::usage, "neither sqlite:PATH"},
        {"sqlite:", ctl_status::usage, "neither sqlite:PATH"},
    };
    for (const auto& c : cases) {
        try {
            open_ledger(c.url);
            ADD_FAILURE() << "opened " << c.url;
        } catch (const ctl_error& e) {
            EXPECT_EQ(e.status(), c.status) << c.url;
            EXPECT_NE(std::string(e.what()).find(c.said), std::string::npos) << c.url << ": " << e.what();
        }
    }
}

}  // namespace
