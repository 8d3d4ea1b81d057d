// zelvoctl on every card at once: each card keeps its own record, a card
// whose writes are lost fails alone and names its backup, set --all refuses
// the fields that name one card; each card gets its own history line.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;


TEST(ZelvoctlManyCards, BurnAllKeepsEachRecordAndALostWriteFailsOnlyItsCard) {
    const preset_cards cards;
    const temp_dir files;
    const std::string state = cards.state.path(), backups = files / "backups";
    // Reaches the one-port card's record (which it must carry over), not the others'.
    const std::string fw = make_fw(files / "fw.bin", "0", "0x1E800");
    const std::vector<u8> card2_before = flash_in(state, CARD2);
    const sim_run r = zelvoctl_in_sim({"--json", "burn", "--all", "--fw", fw, "--backup-dir", backups}, state,
                                      sim_default_config() + "fault enp4s0f0 lose-writes\n");
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["error"]["message"], "1 of 3 cards failed: 0000:04:00.0 (problems_found)");
    ASSERT_EQ(doc["cards"].size(), 3u);
    std::map<std::string, std::string> results;  // each card's history line: its result
    for (const json& line : history_file_lines(history_in(state)))
        results[line["pci_address"]] += line["result"];
    std::size_t i = 0;
    for (const card* c : {&CARD4, &CARD2, &CARD1}) {
        const json& got = doc["cards"][i++];
        const std::string backup = got.value("backup", "");
        EXPECT_EQ(results[c->addr], c == &CARD2 ? "problems_found" : "ok") << "one history line per card";
        EXPECT_TRUE(std::filesystem::exists(backup + "/manifest.json") && backup.find(':') == std::string::npos) << backup;
        EXPECT_EQ(got["outcome"], c == &CARD2 ? "failed" : "written") << got;
        const std::vector<u8> flash = flash_in(state, *c);
        EXPECT_EQ(byte_diff(slice(flash, c->record_at, USER_RECORD_SZ), sample_user_record(c->sn)), "")
            << c->addr << ": the card lost its own record";
        if (c == &CARD2) {
            EXPECT_EQ(byte_diff(flash, card2_before), "");
            EXPECT_NE(got.dump().find("restore with: zelvoctl restore enp4s0f0 --from " + backup), std::string::npos) << got;
        }
    }
}

TEST(ZelvoctlManyCards, SetAllRefusesIdentityFieldsAndBadSelections) {
    const temp_dir state;
    for (const auto& [args, message] :
         {std::pair{std::vector<std::string>{"--json", "set", "--all", "sn=SAME"}, "sn=SAME: a MAC address, serial"},
          {{"--json", "burn", "--all", "--jobs", "0", "--fw", "/dev/null"}, "--jobs takes a number of cards of 1 or more, not 0"}}) {
        const sim_run bad = zelvoctl_in_sim(args, state.path());
        EXPECT_EQ(bad.status, 2) << bad.out;
        EXPECT_NE(json::parse(bad.out)["error"].value("message", "").find(message), std::string::npos) << bad.out;
        EXPECT_TRUE(read_request_log(state.path()).empty()) << "a refused command reached a card";
    }
}

}  // namespace
}  // namespace e2e
