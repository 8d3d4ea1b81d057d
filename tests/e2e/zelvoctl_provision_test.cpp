// zelvoctl provision inside the driver simulator: cards of every model get
// distinct identities from a pool, a second run writes nothing, a field card
// and a used-up pool are refused, a run killed in the middle of a write is
// finished by the next one without giving an identity twice, the cards of a
// run are written at once taking their identities in card order, and two
// stations share one PostgreSQL ledger.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <thread>

#include "e2e_support.h"
#include "pg_server.h"

namespace e2e {
namespace {

using json = nlohmann::json;
using test_support::pg_server;

// Three erased cards (no valid record), one per model, and how many ports each has.
struct model_card {
    card c;
    const char* iface;
    int ports;
};
const model_card MODELS[] = {{CARD4, "enp3s0f0", 4}, {CARD2, "enp4s0f0", 2}, {CARD1, "enp5s0", 1}};

std::string erased_cards(const std::string& extra = "") {
    return "card 0000:03:00.0 device=0x8308 flash=erased\n"
           "iface enp3s0f0\niface enp3s0f1\niface enp3s0f2\niface enp3s0f3\n"
           "card 0000:04:00.0 device=0x8318 flash=erased\niface enp4s0f0\n"
           "function 0000:04:00.1\niface enp4s0f1 port=1\n"
           "card 0000:05:00.0 device=0x8208 flash=erased\niface enp5s0\n" +
           extra;
}

std::string write_pool(const std::string& path, int blocks, const std::string& name = "line-a") {
    char last[32];
    std::snprintf(last, sizeof last, "02:5a:e1:10:%02x:%02x", (blocks * 8 - 1) >> 8, (blocks * 8 - 1) & 0xff);
    const std::string text = R"({"name": ")" + name + R"(", "serial": {"prefix": "ZT2649", "first": 1, "digits": 5},)"
                             R"( "mac": {"first": "02:5a:e1:10:00:00", "last": ")" + std::string(last) +
                             R"(", "per_card": 8}})";
    write_file_bytes(path, std::vector<u8>(text.begin(), text.end()));
    return path;
}

struct line_setup {
    temp_dir state, files;
    std::string pool, ledger;
    explicit line_setup(int blocks = 64)
        : pool(write_pool(files / "pool.json", blocks)), ledger("sqlite:" + files / "ledger.db") {}

    sim_run ctl(std::vector<std::string> args, const std::string& config) const {
        const std::vector<std::string> command = zelvoctl_command(files.path());
        args.insert(args.begin(), command.begin(), command.end());
        return run_in_sim(args, config, state.path());
    }
    // --pool and --ledger are this line's unless `args` name others.
    sim_run provision(std::vector<std::string> args, const std::string& config) const {
        for (const auto& [option, value] : {std::pair{"--pool", pool}, std::pair{"--ledger", ledger}})
            if (std::find(args.begin(), args.end(), option) == args.end())
                args.insert(args.end(), {option, value});
        args.insert(args.begin(), {"--json", "provision", "--backup-dir", files / "backups"});
        return ctl(args, config);
    }
    json rows() const { return json::parse(ctl({"--json", "ledger", "--ledger", ledger}, "").out)["rows"]; }
};

std::string writes_since(const std::string& state, std::size_t from) {
    const auto log = read_request_log(state);
    std::string writes;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].cmd == 1)
            writes += "w" + std::to_string(log[i].part) + " ";
    return writes;
}

// The serial and port addresses the card's flash holds.
std::string identity_on_flash(const std::string& state, const card& c, int ports) {
    const std::vector<u8> flash = read_file_bytes(state + "/" + c.addr + ".flash");
    const u8* rec = flash.data() + c.record_at;
    std::string out(reinterpret_cast<const char*>(rec + ucfg_at::sn), ucfg_at::text_len);
    out.resize(out.find('\0') == std::string::npos ? out.size() : out.find('\0'));
    for (int p = 0; p < ports; ++p) {
        char mac[24];
        const u8* m = rec + ucfg_at::macaddr + ucfg_at::mac_slot_len * static_cast<std::size_t>(p);
        std::snprintf(mac, sizeof mac, " %02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
        out += mac;
    }
    return out;
}

std::string expected_identity(int index, int ports) {
    char serial[24];
    std::snprintf(serial, sizeof serial, "ZT2649%05d", index + 1);
    std::string out = serial;
    for (int p = 0; p < ports; ++p) {
        char mac[24];
        std::snprintf(mac, sizeof mac, " 02:5a:e1:10:%02x:%02x", (index * 8 + p) >> 8, (index * 8 + p) & 0xff);
        out += mac;
    }
    return out;
}

TEST(ZelvoctlProvision, EveryModelGetsItsOwnIdentityAndASecondRunWritesNothing) {
    const line_setup line;
    const std::string config = erased_cards();
    const sim_run first = line.provision({"--all"}, config);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const json cards = json::parse(first.out)["cards"];
    ASSERT_EQ(cards.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const model_card& m = MODELS[i];
        EXPECT_EQ(cards[i]["outcome"], "provisioned") << cards[i];
        EXPECT_EQ(identity_on_flash(line.state.path(), m.c, m.ports), expected_identity(i, m.ports)) << m.iface;
        EXPECT_EQ(cards[i]["macs"].size(), static_cast<std::size_t>(m.ports));
        // The backup holds the card as it was: its erased record.
        const std::vector<u8> user = read_file_bytes(cards[i]["backup"].get<std::string>() + "/user.bin");
        EXPECT_EQ(user, std::vector<u8>(USER_RECORD_SZ, 0xff)) << m.iface;
    }
    // The history holds one line per card provisioned (in the order the
    // cards finished), naming its backup.
    const json history = json::parse(line.ctl({"--json", "history"}, "").out)["entries"];
    ASSERT_EQ(history.size(), 3u) << history;
    for (int i = 0; i < 3; ++i) {
        const auto entry = std::find_if(history.begin(), history.end(),
                                        [&](const json& e) { return e["pci_address"] == cards[i]["pci_address"]; });
        ASSERT_NE(entry, history.end()) << cards[i];
        EXPECT_EQ((*entry)["command"], "provision");
        EXPECT_EQ((*entry)["serial_before"], nullptr);
        EXPECT_EQ((*entry)["serial_after"], expected_identity(i, 1).substr(0, 11));
        EXPECT_EQ((*entry)["backup"], cards[i]["backup"]);
    }
    const sim_run check = line.ctl({"check"}, config);
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("3 cards checked, 0 problems"), std::string::npos) << check.out;

    const std::size_t logged = read_request_log(line.state.path()).size();
    const sim_run again = line.provision({"--all"}, config);
    EXPECT_EQ(again.status, 0) << again.out;
    const json again_doc = json::parse(again.out);
    for (const json& c : again_doc["cards"])
        EXPECT_EQ(c["outcome"], "up_to_date") << c;
    EXPECT_EQ(writes_since(line.state.path(), logged), "");

    const sim_run csv = line.ctl({"ledger", "--ledger", line.ledger, "--csv"}, "");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "serial,macs,device_id,pool,committed_at");
    EXPECT_NE(csv.out.find("\nZT264900002,02:5a:e1:10:00:08 02:5a:e1:10:00:09,0x8318,line-a,"), std::string::npos)
        << csv.out;
}

TEST(ZelvoctlProvision, RefusalsComeBeforeAnyCardIsWritten) {
    const line_setup line;
    const temp_dir no_server;
    const std::string bad_pool = line.files / "bad.json";
    write_file_bytes(bad_pool, {'{', '}'});
    const struct {
        std::vector<std::string> args;
        std::string config;
        int status;
        std::string said;
    } cases[] = {
        // A card of the field (the simulator's factory record holds a serial).
        {{"enp3s0f0"}, "", 2, "serial ZS4P0300A17"},
        {{"enp3s0f0", "--ledger", "sqlite:/nonexistent-folder/l.db"}, erased_cards(), 5, "unable to open"},
        {{"enp3s0f0", "--ledger", "postgresql:///x?host=" + no_server.path()}, erased_cards(), 5, "No such file"},
        {{"enp3s0f0", "--pool", bad_pool}, erased_cards(), 2, "pool field name"},
        {{"enp3s0f0", "--pool", line.files / "missing.json"}, erased_cards(), 2, "cannot read pool file"},
    };
    for (const auto& c : cases) {
        const std::size_t logged = read_request_log(line.state.path()).size();
        const sim_run r = line.provision(c.args, c.config);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        EXPECT_EQ(writes_since(line.state.path(), logged), "") << r.out;
    }
    EXPECT_EQ(line.rows().size(), 0u);
    // The field card is renumbered only when asked.
    const sim_run forced = line.provision({"enp3s0f0", "--force"}, "");
    EXPECT_EQ(forced.status, 0) << forced.out;
    EXPECT_EQ(identity_on_flash(line.state.path(), CARD4, 4), expected_identity(0, 4));
}

TEST(ZelvoctlProvision, AUsedUpPoolServesTheCardsItCanAndNamesItselfForTheRest) {
    const line_setup line(2);
    const sim_run r = line.provision({"--all"}, erased_cards());
    EXPECT_EQ(r.status, 2) << r.out;
    const json cards = json::parse(r.out)["cards"];
    EXPECT_EQ(cards[0]["outcome"], "provisioned");
    EXPECT_EQ(cards[1]["outcome"], "provisioned");
    EXPECT_EQ(cards[2]["outcome"], "refused");
    EXPECT_EQ(cards[2]["status"], 2);
    EXPECT_NE(cards[2]["message"].get<std::string>().find("pool line-a is used up"), std::string::npos) << cards[2];
    EXPECT_EQ(read_file_bytes(line.state.path() + "/" + CARD1.addr + ".flash"), std::vector<u8>(0x80000, 0xff));
    EXPECT_EQ(line.rows().size(), 2u);
}

TEST(ZelvoctlProvision, AFailedWriteLeavesTheRowReservedAndTheNextRunWritesTheSameIdentity) {
    const line_setup line;
    // Every attempt of the verified save is lost.
    const sim_run lost = line.provision({"enp4s0f0"}, erased_cards("fault enp4s0f0 lose-user-writes=3\n"));
    EXPECT_EQ(lost.status, 1) << lost.out;
    EXPECT_EQ(line.rows()[0]["state"], "reserved");
    EXPECT_EQ(read_file_bytes(line.state.path() + "/" + CARD2.addr + ".flash"), std::vector<u8>(0xCA000, 0xff));
    // As a run killed in the middle of its backup leaves it: files, no manifest.
    const std::string cut_short = line.rows()[0]["backup"];
    ASSERT_EQ(::unlink((cut_short + "/manifest.json").c_str()), 0);
    const sim_run again = line.provision({"enp4s0f0"}, erased_cards());
    EXPECT_EQ(again.status, 0) << again.out;
    const std::string backup = line.rows()[0]["backup"];
    EXPECT_NE(backup, cut_short);
    EXPECT_EQ(read_file_bytes(backup + "/user.bin"), std::vector<u8>(USER_RECORD_SZ, 0xff));
    EXPECT_EQ(identity_on_flash(line.state.path(), CARD2, 2), expected_identity(0, 2));
    const json rows = line.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["state"], "committed");
}

TEST(ZelvoctlProvision, ARunKilledDuringAWriteIsFinishedWithoutGivingAnIdentityTwice) {
    const line_setup line;
    const std::string held = erased_cards("fault enp3s0f0 write-delay-ms=3000\n");
    // Inside one simulator run: provision in the background, killed once its
    // reservation is in the ledger and its write is being held.
    const sim_run killed = run_in_sim(
        {"/bin/bash", "-c",
         "\"$1\" --history \"$4.history.jsonl\" provision --all --pool \"$2\" --ledger \"$3\" --backup-dir \"$4\" >/dev/null & pid=$!\n"
         "for i in $(seq 200); do \"$1\" ledger --ledger \"$3\" | grep -q reserved && break; sleep 0.05; done\n"
         "sleep 1; kill -9 $pid; wait $pid; echo \"ended $?\"",
         "killer", zelvoctl_path(), line.pool, line.ledger, line.files / "backups"},
        held, line.state.path());
    EXPECT_NE(killed.out.find("ended 137"), std::string::npos) << killed.out << killed.err;
    // The other cards, written at the same time without a held write, were
    // finished before the kill.
    json rows = line.rows();
    ASSERT_EQ(rows.size(), 3u) << rows;
    EXPECT_EQ(rows[0]["state"], "reserved");
    EXPECT_EQ(rows[1]["state"], "committed");
    EXPECT_EQ(rows[2]["state"], "committed");

    const sim_run finish = line.provision({"--all"}, erased_cards());
    EXPECT_EQ(finish.status, 0) << finish.out;
    rows = line.rows();
    ASSERT_EQ(rows.size(), 3u) << rows;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i]["state"], "committed") << rows[i];
        EXPECT_EQ(rows[i]["pci_address"], MODELS[i].c.addr) << rows[i];
        EXPECT_EQ(identity_on_flash(line.state.path(), MODELS[i].c, MODELS[i].ports),
                  expected_identity(i, MODELS[i].ports));
    }
    const std::string first_outcome = json::parse(finish.out)["cards"][0]["outcome"];
    EXPECT_TRUE(first_outcome == "committed" || first_outcome == "provisioned") << first_outcome;
}

// Four erased 4-port cards nic0 ... nic3, every flash write held `delay_ms`.
std::string slow_cards(int delay_ms) {
    std::string config;
    for (int c = 0; c < 4; ++c) {
        config += "card 0000:1" + std::to_string(c) + ":00.0 device=0x8308 flash=erased\n";
        for (int p = 0; p < 4; ++p)
            config += "iface nic" + std::to_string(c) + "p" + std::to_string(p) + "\n";
        config += "fault nic" + std::to_string(c) + "p0 write-delay-ms=" + std::to_string(delay_ms) + "\n";
    }
    return config;
}

card slow_card(int c) {
    static const std::string addrs[] = {"0000:10:00.0", "0000:11:00.0", "0000:12:00.0", "0000:13:00.0"};
    return {addrs[c].c_str(), CARD4.flash_size, CARD4.record_at, ""};
}

TEST(ZelvoctlProvision, AllCardsAreWrittenAtOnceAndTakeTheirIdentitiesInCardOrder) {
    const line_setup line;
    // The first card keeps the reservation of a run whose write was lost.
    const sim_run lost = line.provision({"nic0p0"}, slow_cards(0) + "fault nic0p0 lose-user-writes=3\n");
    ASSERT_EQ(lost.status, 1) << lost.out << lost.err;
    const std::size_t logged = read_request_log(line.state.path()).size();
    const sim_run r = line.provision({"--all"}, slow_cards(1000));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["summary"], json::parse(R"({"cards": 4, "provisioned": 4, "committed": 0, "up_to_date": 0,
                                               "refused": 0, "failed": 0})"));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(doc["cards"][c]["serial"], expected_identity(c, 0)) << doc["cards"][c];
        EXPECT_EQ(identity_on_flash(line.state.path(), slow_card(c), 4), expected_identity(c, 4));
    }
    // The simulator logs a write once its second has passed. Every card had
    // sent everything before its write (its reservation, its backup) before
    // any card's write was done: the writes were under way together.
    const auto log = read_request_log(line.state.path());
    std::size_t before_write[4] = {}, write_at[4] = {};
    std::fill(std::begin(write_at), std::end(write_at), log.size());
    for (std::size_t i = logged; i < log.size(); ++i) {
        ASSERT_TRUE(log[i].iface.starts_with("nic")) << log[i].iface;
        const std::size_t c = static_cast<std::size_t>(log[i].iface[3] - '0');
        if (log[i].cmd == 1)
            write_at[c] = std::min(write_at[c], i);
        else if (write_at[c] == log.size())
            before_write[c] = i;
    }
    EXPECT_LT(*std::max_element(std::begin(before_write), std::end(before_write)),
              *std::min_element(std::begin(write_at), std::end(write_at)))
        << "a card began its write only after another card's was done";
}

TEST(ZelvoctlProvision, ADryRunShowsEachCardTheIdentityItWouldGetWritingNothing) {
    const line_setup line;
    const sim_run dry = line.ctl({"provision", "--all", "--dry-run", "--pool", line.pool, "--ledger", line.ledger},
                                 erased_cards());
    EXPECT_EQ(dry.status, 0) << dry.out << dry.err;
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(dry.out.find("would get: serial " + expected_identity(i, 0)), std::string::npos) << dry.out;
    EXPECT_TRUE(dry.out.ends_with("3 cards: 3 to provision, 0 committed (already carrying their reservation), "
                                  "0 already up to date, 0 refused, 0 failed\n"))
        << dry.out;
    EXPECT_EQ(writes_since(line.state.path(), 0), "");
    EXPECT_EQ(line.rows().size(), 0u);
}

// A card whose maintain file another program holds fails alone; the cards
// after it do not wait for its turn at the ledger and get the identities it
// did not take.
TEST(ZelvoctlProvision, ALockedCardFailsAloneAndTakesNoIdentity) {
    const line_setup line;
    const locked_run r = run_tool_while_locked(
        "enp3s0f0", 30,
        {"--history", history_in(line.files.path()), "--json", "--lock-wait", "1", "provision", "--all", "--pool",
         line.pool, "--ledger", line.ledger,
         "--backup-dir", line.files / "backups"},
        40, erased_cards(), line.state.path(), zelvoctl_path());
    EXPECT_EQ(r.holder, "locked");
    EXPECT_EQ(r.status, 6) << r.out << r.sim.err;
    const json cards = json::parse(r.out)["cards"];
    EXPECT_EQ(cards[0]["outcome"], "failed");
    EXPECT_EQ(cards[0]["error"]["code"], "lock_timeout") << cards[0];
    EXPECT_EQ(cards[0]["serial"], nullptr);
    EXPECT_EQ(cards[0]["model"], "4-port");
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(cards[i]["outcome"], "provisioned") << cards[i];
        EXPECT_EQ(identity_on_flash(line.state.path(), MODELS[i].c, MODELS[i].ports),
                  expected_identity(i - 1, MODELS[i].ports));
    }
    EXPECT_EQ(read_file_bytes(line.state.path() + "/" + CARD4.addr + ".flash"), std::vector<u8>(CARD4.flash_size, 0xff));
    EXPECT_EQ(line.rows().size(), 2u);
}

TEST(ZelvoctlProvision, TwoStationsShareOnePostgresLedgerWithoutSharingAnIdentity) {
    const pg_server server;
    const line_setup a, b;
    std::string station_cards;
    for (int c = 0; c < 4; ++c) {
        const std::string bus = std::to_string(3 + c);
        station_cards += "card 0000:0" + bus + ":00.0 device=0x8318 flash=erased\niface eth" + bus + "\n" +
                         "fault eth" + bus + " write-delay-ms=100\n";
    }
    sim_run runs[2];
    std::thread other([&] {
        runs[1] = run_in_sim({zelvoctl_path(), "--history", history_in(b.files.path()), "--json", "provision", "--all", "--pool", a.pool, "--ledger",
                              server.uri(), "--station", "B", "--backup-dir", b.files / "backups"},
                             station_cards, b.state.path());
    });
    runs[0] = run_in_sim({zelvoctl_path(), "--history", history_in(a.files.path()), "--json", "provision", "--all", "--pool", a.pool, "--ledger", server.uri(),
                          "--station", "A", "--backup-dir", a.files / "backups"},
                         station_cards, a.state.path());
    other.join();
    std::set<std::string> serials, macs, on_flash;
    for (int s = 0; s < 2; ++s) {
        ASSERT_EQ(runs[s].status, 0) << runs[s].out << runs[s].err;
        const json cards = json::parse(runs[s].out)["cards"];
        ASSERT_EQ(cards.size(), 4u);
        for (const json& c : cards) {
            serials.insert(c["serial"].get<std::string>());
            for (const json& m : c["macs"])
                macs.insert(m.get<std::string>());
            const card flash{c["pci_address"].get_ref<const std::string&>().c_str(), 0xCA000, 0x41000, ""};
            on_flash.insert(identity_on_flash((s ? b : a).state.path(), flash, 2));
        }
    }
    EXPECT_EQ(serials.size(), 8u);
    EXPECT_EQ(macs.size(), 16u);
    EXPECT_EQ(on_flash.size(), 8u);
    const sim_run listed = a.ctl({"--json", "ledger", "--ledger", server.uri()}, station_cards);
    ASSERT_EQ(listed.status, 0) << listed.out << listed.err;
    const json rows = json::parse(listed.out)["rows"];
    ASSERT_EQ(rows.size(), 8u) << listed.out;
    for (const json& r : rows)
        EXPECT_EQ(r["state"], "committed");
}

}  // namespace
}  // namespace e2e
