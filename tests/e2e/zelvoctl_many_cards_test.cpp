// zelvoctl on every card at once inside the driver simulator: each card of
// the three models keeps its own record, a card whose writes are lost fails
// alone and names its backup, set --all reaches every card and refuses the
// fields that name one card.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;


std::vector<u8> flash_of(const preset_cards& cards, const card& c) {
    return read_file_bytes(cards.state.path() + "/" + c.addr + ".flash");
}

std::size_t writes_since(const std::string& state, std::size_t from) {
    const auto log = read_request_log(state);
    std::size_t n = 0;
    for (std::size_t i = from; i < log.size(); ++i)
        n += log[i].cmd == 1;
    return n;
}

// A chip-group-0 image that reaches the one-port card's user record (which it
// must carry over) and stops before the user record of the others.
std::string make_image(const temp_dir& files, const std::string& state, const char* size) {
    const std::string fw = files / (std::string("fw-") + size + ".bin");
    EXPECT_EQ(run_in_sim({sim_path(), "make-fw", "--crc", "--size", size, fw}, "", state).status, 0);
    return fw;
}

TEST(ZelvoctlManyCards, BurnAllKeepsEachRecordAndALostWriteFailsOnlyItsCard) {
    const preset_cards cards;
    const temp_dir files;
    const std::string fw = make_image(files, cards.state.path(), "0x1E800"), backups = files / "backups";
    const std::vector<u8> image = read_file_bytes(fw);
    const std::vector<u8> card2_before = flash_of(cards, CARD2);
    const std::string faulty = sim_default_config() + "fault enp4s0f0 lose-writes\n";

    const sim_run r = zelvoctl_in_sim({"--json", "burn", "--all", "--fw", fw, "--backup-dir", backups}, cards.state.path(), faulty);
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["error"]["code"], "problems_found");
    EXPECT_EQ(doc["error"]["message"], "1 of 3 cards failed: 0000:04:00.0 (problems_found)");
    EXPECT_EQ(doc["summary"], json({{"cards", 3}, {"written", 2}, {"up_to_date", 0}, {"failed", 1}}));
    const struct {
        const card& c;
        int status;
        const char* outcome;
    } want[] = {{CARD4, 0, "written"}, {CARD2, 1, "failed"}, {CARD1, 0, "written"}};
    ASSERT_EQ(doc["cards"].size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const json& got = doc["cards"][i];
        const card& c = want[i].c;
        EXPECT_EQ(got["pci_address"], c.addr);
        EXPECT_EQ(got["status"], want[i].status) << got;
        EXPECT_EQ(got["outcome"], want[i].outcome) << got;
        EXPECT_EQ(got["written"], true) << got;
        const std::string backup = got["backup"].get<std::string>();
        std::string folder = c.addr;  // a backup folder's name has no ':'
        std::replace(folder.begin(), folder.end(), ':', '-');
        EXPECT_TRUE(backup.starts_with(backups + "/" + folder + "-")) << backup;
        EXPECT_TRUE(std::filesystem::exists(backup + "/manifest.json")) << backup;
        const std::vector<u8> flash = flash_of(cards, c);
        EXPECT_EQ(byte_diff(slice(flash, c.record_at, USER_RECORD_SZ), sample_user_record(c.sn)), "")
            << c.addr << ": the card lost its own record";
        if (want[i].status != 0) {
            // Nothing was stored, and the failure says where the card's backup is.
            EXPECT_EQ(byte_diff(flash, card2_before), "");
            EXPECT_NE(got["error"]["message"].get<std::string>().find("restore with: zelvoctl restore enp4s0f0 --from " + backup),
                      std::string::npos) << got;
            continue;
        }
        const std::size_t n = std::min(image.size(), c.record_at);  // past the trailer, up to the record
        EXPECT_EQ(byte_diff(slice(flash, 512, n - 512), slice(image, 512, n - 512)), "") << c.addr;
    }

    // Again without the fault, in human form: the card that failed is the only
    // one written, the blocks come in PCI order, then the summary.
    const std::size_t logged = read_request_log(cards.state.path()).size();
    const sim_run again = zelvoctl_in_sim({"burn", "--all", "--jobs", "2", "--fw", fw, "--no-backup"}, cards.state.path());
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_EQ(writes_since(cards.state.path(), logged), 1u);
    const std::size_t a = again.out.find("== 0000:03:00.0"), b = again.out.find("== 0000:04:00.0"),
                      c = again.out.find("== 0000:05:00.0");
    EXPECT_TRUE(a < b && b < c && c != std::string::npos) << again.out;
    EXPECT_TRUE(again.out.ends_with("\n3 cards: 1 written, 2 already up to date, 0 failed\n")) << again.out;
}

TEST(ZelvoctlManyCards, SetAllWritesEveryCardAndRefusesIdentityAndBadSelections) {
    const preset_cards cards;
    const sim_run r = zelvoctl_in_sim({"--json", "set", "--all", "led=11 22 33 44"}, cards.state.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(json::parse(r.out)["summary"], json({{"cards", 3}, {"written", 3}, {"up_to_date", 0}, {"failed", 0}}));
    for (const card* c : {&CARD4, &CARD2, &CARD1}) {
        record want = sample_user_record(c->sn);
        for (u32 i = 0; i < 4; ++i)
            put_u32(want, ucfg_at::led_bitmap + 4 * i, 0x11 * (i + 1));
        EXPECT_EQ(byte_diff(slice(flash_of(cards, *c), c->record_at, USER_RECORD_SZ), want), "") << c->addr;
    }

    const struct {
        std::vector<std::string> args;
        std::string message;  // a part of the error
    } refused[] = {
        {{"set", "--all", "sn=SAME"}, "sn=SAME: a MAC address, serial"},
        {{"set", "--all", "led=1 2 3 4", "mac.0=02:00:00:00:00:01"}, "mac.0="},
        {{"set", "--all", "name=X"}, "name=X"},
        {{"set", "--all", "led=1 2 3 4", "colour=blue"}, "unknown field 'colour'"},
        {{"burn", "--all", "--jobs", "0", "--fw", "/dev/null"}, "--jobs takes a number of cards of 1 or more, not 0"},
        {{"verify", "--all", "--jobs", "-3", "--fw", "/dev/null"}, "not -3"},
        {{"backup", "--all", "enp3s0f0"}, "give DEVICE or --all, not both"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--json");
        const std::size_t logged = read_request_log(cards.state.path()).size();
        const sim_run bad = zelvoctl_in_sim(args, cards.state.path());
        EXPECT_EQ(bad.status, 2) << bad.out;
        const json doc = json::parse(bad.out);
        EXPECT_EQ(doc["error"]["code"], "usage");
        EXPECT_NE(doc["error"]["message"].get<std::string>().find(c.message), std::string::npos) << doc;
        EXPECT_FALSE(doc.contains("cards"));
        EXPECT_EQ(read_request_log(cards.state.path()).size(), logged) << "a refused command reached a card";
    }
}

}  // namespace
}  // namespace e2e
