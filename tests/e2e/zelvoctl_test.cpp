// zelvoctl inside the driver simulator: its JSON documents, the record edits
// and their refusals, the duplicate check, and a restore that a lost write
// cannot fool.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "e2e_support.h"

using namespace std::string_literals;

namespace e2e {
namespace {

using json = nlohmann::json;

sim_run zelvoctl(const std::vector<std::string>& args, const std::string& state, const std::string& config = "") {
    std::vector<std::string> command = zelvoctl_command(state);
    command.insert(command.end(), args.begin(), args.end());
    return run_in_sim(command, config, state);
}

// The run's standard output as its one JSON document, which must carry the
// schema version and the exit status.
json document_of(const sim_run& r) {
    const json doc = json::parse(r.out, nullptr, false);
    EXPECT_FALSE(doc.is_discarded()) << r.out << r.err;
    if (doc.is_discarded())
        return json::object();
    EXPECT_EQ(doc.value("schema_version", 0), 1) << r.out;
    EXPECT_EQ(doc.value("status", -1), r.status) << r.out;
    return doc;
}

std::string card_flash(const std::string& state, const card& c) { return state + "/" + c.addr + ".flash"; }

TEST(Zelvoctl, EveryRunPrintsOneVersionedDocument) {
    const temp_dir state;
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;  // code of the error object, "" for none
        std::string log;    // requests of the run
    } cases[] = {
        {{"list"}, 0, "", "r3 r10 r3 r10 r3 r10"},
        {{"show", "0000:04:00.0"}, 0, "", "r3 r10 r2"},
        {{"show", "--image", card_flash(state.path(), CARD4)}, 0, "", ""},  // read from the file alone
        {{"check"}, 0, "", "r3 r3 r3"},
        {{"set", "enp3s0f0", "sn=NEW", "--dry-run"}, 0, "", "r3 r3 r3"},
        {{"set", "enp3s0f0", "colour=blue"}, 2, "usage", "r3"},
        {{"set", "eth9", "sn=X"}, 3, "device_not_found", ""},
        {{"show"}, 2, "usage", ""},
        {{"frobnicate"}, 2, "usage", ""},
        {{"restore", "enp5s0", "--from", state.path()}, 2, "usage", ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--json");
        const std::size_t logged = read_request_log(state.path()).size();
        const sim_run r = zelvoctl(args, state.path());
        EXPECT_EQ(r.status, c.status) << c.args[0] << r.out << r.err;
        const json doc = document_of(r);
        EXPECT_EQ(doc.contains("error") ? doc["error"].value("code", "?") : "", c.error) << r.out;
        const auto log = read_request_log(state.path());
        EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}), c.log) << c.args[0];
    }
}

TEST(Zelvoctl, ListShowsEachCardWithItsFlashValues) {
    const json doc = document_of(zelvoctl({"list", "--json"}, ""));
    const std::tuple<std::string, std::string, std::string, std::size_t> want[] = {
        {"0000:03:00.0", "4-port", "ZS4P0300A17", 4},
        {"0000:04:00.0", "2-port", "ZS2P0400B02", 2},
        {"0000:05:00.0", "1-port", "ZS1P0500C11", 1},
    };
    ASSERT_EQ(doc["cards"].size(), std::size(want));
    for (std::size_t i = 0; i < std::size(want); ++i) {
        const json& c = doc["cards"][i];
        const auto& [addr, model, serial, ifaces] = want[i];
        EXPECT_EQ(c["pci_address"], addr);
        EXPECT_EQ(c["model"], model);
        EXPECT_EQ(c["serial"], serial);
        EXPECT_EQ(c["interfaces"].size(), ifaces);
        EXPECT_EQ(c["user_record_valid"], true);
    }
    EXPECT_EQ(doc["cards"][2]["firmware"], "1.2.0.5");
    EXPECT_EQ(doc["cards"][2]["pxe"], "1.0.9");
}

TEST(Zelvoctl, SetSavesVerifiedAndRefusesAnotherCardsIdentity) {
    const temp_dir state;
    const sim_run saved = zelvoctl({"--json", "set", "03:00.0", "sn=NEW-SN", "mac.1=02:00:00:00:00:31"}, state.path());
    ASSERT_EQ(saved.status, 0) << saved.out << saved.err;
    const json changes = document_of(saved)["devices"][0]["changes"];
    EXPECT_EQ(changes, json::parse(R"([{"field":"mac.1","before":"02:5a:e1:03:00:01","after":"02:00:00:00:00:31"},
                                       {"field":"sn","before":"ZS4P0300A17","after":"NEW-SN"}])"));
    const std::vector<u8> flash = read_file_bytes(card_flash(state.path(), CARD4));
    EXPECT_EQ(std::string(flash.begin() + 0x41000 + 64, flash.begin() + 0x41000 + 71), "NEW-SN\0"s);
    EXPECT_EQ(std::vector<u8>(flash.begin() + 0x41008, flash.begin() + 0x4100e),
              (std::vector<u8>{2, 0, 0, 0, 0, 0x31}));
    const std::size_t logged = read_request_log(state.path()).size();
    const std::pair<std::string, std::string> duplicates[] = {  // field, the card carrying it
        {"sn=ZS1P0500C11", "0000:05:00.0"}, {"mac.0=02:5a:e1:05:00:00", "0000:05:00.0"}, {"sn=NEW-SN", "0000:03:00.0"}};
    for (const auto& [field, holder] : duplicates) {
        const sim_run r = zelvoctl({"set", "enp4s0f0", field}, state.path());
        EXPECT_EQ(r.status, 2) << field;
        EXPECT_EQ(r.err, "zelvoctl: " + field + " is already carried by card " + holder + " (--force writes it anyway)\n");
    }
    const auto log = read_request_log(state.path());
    EXPECT_EQ(log_summary({log.begin() + static_cast<long>(logged), log.end()}).find('w'), std::string::npos)
        << "a refused set wrote";
    const sim_run forced = zelvoctl({"set", "enp4s0f0", "sn=ZS1P0500C11", "--force"}, state.path());
    EXPECT_EQ(forced.status, 0) << forced.err;
    const sim_run check = zelvoctl({"--json", "check"}, state.path());
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(document_of(check)["problems"], json::parse(R"([{"kind":"duplicate_serial","value":"ZS1P0500C11",
                                                              "cards":["0000:04:00.0","0000:05:00.0"]}])"));
}

TEST(Zelvoctl, CheckFindsPlantedDuplicatesAndInvalidRecords) {
    // The 2-port card made with the 4-port card's base address; a third card erased.
    const std::string config =
        "card 0000:03:00.0 device=0x8308 mac=02:5a:e1:03:00:00 sn=A\niface a0\niface a1\niface a2\niface a3\n"
        "card 0000:04:00.0 device=0x8318 mac=02:5a:e1:03:00:00 sn=B\niface b0\niface b1\n"
        "card 0000:06:00.0 device=0x8308 flash=erased\niface c0\n";
    const sim_run r = zelvoctl({"--json", "check"}, "", config);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(document_of(r)["problems"], json::parse(R"([
        {"kind":"invalid_user_record","value":null,"cards":["0000:06:00.0"]},
        {"kind":"duplicate_mac","value":"02:5a:e1:03:00:00","cards":["0000:03:00.0","0000:04:00.0"]},
        {"kind":"duplicate_mac","value":"02:5a:e1:03:00:01","cards":["0000:03:00.0","0000:04:00.0"]}])"));
}

TEST(Zelvoctl, RestoreUnderEachFaultEndsClearlyAndTheBackupStaysWhole) {
    const temp_dir state, backups;
    const std::string dir = backups / "card4", flash_file = card_flash(state.path(), CARD4);
    ASSERT_EQ(zelvoctl({"backup", "enp3s0f0", "--to", dir}, state.path()).status, 0);
    const std::vector<u8> original = read_file_bytes(flash_file);
    std::vector<u8> spoilt = original;
    spoilt[0x4A000] ^= 0xff;  // the PXE area: only that partition needs writing
    write_file_bytes(flash_file, spoilt);
    const struct {
        const char* fault;
        int status;
        std::string err;  // what standard error ends with
    } cases[] = {
        {"no-open", 5, "reading partition user of enp3s0f0 failed (-5): faild to open:/sys/class/net/enp3s0f0/maintain\n"},
        {"write-eio", 5, "writing partition pxe of enp3s0f0 failed (-5): writing flash.... Faild; the backup in " + dir +
                             " is unchanged: restore from it again\n"},
        {"short-header=5", 5, "reading partition user of enp3s0f0 failed (-5): invalid reply: header 5 bytes\n"},
        {"reply-extra=8", 5, "reading partition user of enp3s0f0 failed (-5): invalid reply: data_bytes:488 max:480\n"},
        {"data-short-by=7", 5, "reading partition user of enp3s0f0 failed (-5): invalid reply: data 473 of 480 bytes\n"},
        {"lose-writes", 1, "read-back of partition pxe of enp3s0f0 differs from what was written; the backup in " + dir +
                               " is unchanged: restore from it again\n"},
    };
    for (const auto& c : cases) {
        const sim_run r = zelvoctl({"restore", "enp3s0f0", "--from", dir}, state.path(),
                                   sim_default_config() + "fault enp3s0f0 " + c.fault + "\n");
        EXPECT_EQ(r.status, c.status) << c.fault;
        EXPECT_TRUE(r.err.ends_with(c.err)) << c.fault << ": " << r.err;
        EXPECT_EQ(read_file_bytes(flash_file), spoilt) << c.fault;
    }
    // Writes cut into small pieces still land, and the untouched backup brings the card back.
    const sim_run r = zelvoctl({"restore", "enp3s0f0", "--from", dir}, state.path(),
                               sim_default_config() + "fault enp3s0f0 short-write=100\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(byte_diff(read_file_bytes(flash_file), original), "");
}

}  // namespace
}  // namespace e2e
