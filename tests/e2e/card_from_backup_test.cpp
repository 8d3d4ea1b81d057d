// A card brought back from a zelvoctl backup: taken in the simulator, loaded
// with --from-backup, it shows and dumps exactly as the original does; a
// backup that is damaged or incomplete is refused naming the file.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>

#include "e2e_support.h"
#include "flash_store.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using test_support::process_result;
using test_support::run_process;

const card* const CARDS[] = {&CARD4, &CARD2, &CARD1};
const char* const POSITIONS[] = {"0", "4", "6"};  // the first interface of each card

process_result run_from_backups(const std::vector<std::string>& backups, const std::string& state,
                                const std::vector<std::string>& command, const std::vector<std::string>& more = {}) {
    std::vector<std::string> words = {sim_path(), "run", "--state", state};
    for (const std::string& b : backups)
        words.insert(words.end(), {"--from-backup", b});
    words.insert(words.end(), more.begin(), more.end());
    words.push_back("--");
    words.insert(words.end(), command.begin(), command.end());
    return run_process(words, 120);
}

// Dumps partitions 1-5 of each card into `out` and prints the shows of each.
std::vector<std::string> inspect(const std::string& out) {
    std::string script;
    for (const char* pos : POSITIONS) {
        script += std::string("for p in 1 2 3 4 5; do \"$0\" -q -i ") + pos + " -dp $p -o " + out + "/" + pos +
                  "-$p.bin >/dev/null || exit 1; done; ";
        script += std::string("\"$0\" -q -i ") + pos + " -sn-show -mac-show -fw-version || exit 1; ";
    }
    return {"/bin/sh", "-c", script, tool_path()};
}

// The flash a backup brings back: the original's, erased where no
// partition reply reaches (the user area past the record, the PCS/PHY area
// past its first 4 KiB).
std::vector<u8> as_backed_up(const card& c, std::vector<u8> flash) {
    const auto erase = [&](std::size_t from, std::size_t to) { std::fill(flash.begin() + from, flash.begin() + to, 0xff); };
    erase(c.record_at + USER_RECORD_SZ, c.record_at + 0x1000);
    if (c.flash_size == 0xCA000)
        erase(0x42000 + 0x1000, 0x4A000);
    return flash;
}

TEST(CardFromBackup, EveryModelShowsAndDumpsAsTheOriginal) {
    preset_cards cards;
    temp_dir backups, original_out, loaded_out, loaded_state;
    const sim_run taken = run_in_sim({zelvoctl_path(), "--json", "backup", "--all", "--to", backups.path()}, "",
                                     cards.state.path());
    ASSERT_EQ(taken.status, 0) << taken.err;
    std::vector<std::string> dirs;  // in the cards' order, whatever zelvoctl names the folders
    const json doc = json::parse(taken.out);
    for (const json& b : doc.at("backups"))
        dirs.push_back(b.at("dir").get<std::string>());
    ASSERT_EQ(dirs.size(), 3u);

    const sim_run original = run_in_sim(inspect(original_out.path()), "", cards.state.path());
    ASSERT_EQ(original.status, 0) << original.err;
    const process_result loaded = run_from_backups(dirs, loaded_state.path(), inspect(loaded_out.path()));
    ASSERT_EQ(loaded.status, 0) << loaded.err;

    EXPECT_EQ(loaded.out, original.out);
    for (const card* c : CARDS)  // the shows are the card's own, not empty
        EXPECT_NE(original.out.find(c->sn), std::string::npos) << c->sn;
    EXPECT_NE(original.out.find(" FW\t: 1.6.3.0"), std::string::npos) << original.out;
    for (const char* pos : POSITIONS)
        for (int p = 1; p <= 5; ++p) {
            const std::string name = std::string(pos) + "-" + std::to_string(p) + ".bin";
            const std::vector<u8> want = read_file_bytes(original_out / name);
            EXPECT_FALSE(want.empty()) << name;
            EXPECT_EQ(byte_diff(read_file_bytes(loaded_out / name), want), "") << name;
        }
    // --state receives the flash files, to diff against the backup after a rehearsal.
    for (const card* c : CARDS)
        EXPECT_EQ(byte_diff(read_file_bytes(zsim::flash_file_path(loaded_state.path(), c->addr)),
                            as_backed_up(*c, read_file_bytes(zsim::flash_file_path(cards.state.path(), c->addr)))),
                  "")
            << c->addr;
}

void edit_manifest(const std::string& dir, const std::function<void(json&)>& edit) {
    json m = json::parse(std::ifstream(dir + "/manifest.json"));
    edit(m);
    std::ofstream(dir + "/manifest.json") << m.dump(2);
}

TEST(CardFromBackup, DamagedOrIncompleteBackupsAreRefused) {
    preset_cards cards;
    temp_dir taken;
    const sim_run backup = run_in_sim({zelvoctl_path(), "backup", CARD4.addr, "--to", taken / "b"}, "", cards.state.path());
    ASSERT_EQ(backup.status, 0) << backup.err;
    struct row {
        const char* name;
        std::function<void(const std::string&)> spoil;
        int status;
        std::string err;  // after "zelnic-sim: backup DIR: "; empty: loads
    };
    const row rows[] = {
        {"one byte flipped", [](const std::string& d) {
             std::vector<u8> b = read_file_bytes(d + "/user.bin");
             b[5] ^= 1;
             write_file_bytes(d + "/user.bin", b);
         }, 125, "user.bin is damaged: its SHA-256 differs from the manifest\n"},
        {"file missing", [](const std::string& d) { fs::remove(d + "/pcsphy.bin"); }, 125,
         "pcsphy.bin is missing or unreadable\n"},
        {"file cut", [](const std::string& d) { fs::resize_file(d + "/pxe.bin", 100); }, 125,
         "pxe.bin holds 100 bytes, the manifest says 524288\n"},
        {"no manifest", [](const std::string& d) { fs::remove(d + "/manifest.json"); }, 125,
         "no readable manifest.json\n"},
        {"a partition not listed", [](const std::string& d) {
             edit_manifest(d, [](json& m) { m["files"].erase(m["files"].size() - 1); });
         }, 125, "manifest.json lists no file of partition 10\n"},
        {"a file outside the folder", [](const std::string& d) {
             edit_manifest(d, [](json& m) { m["files"][0]["file"] = "../firmware.bin"; });
         }, 125, "manifest.json names a file outside the folder: '../firmware.bin'\n"},
        // Fields it does not need may come and go.
        {"another manifest version", [](const std::string& d) {
             edit_manifest(d, [](json& m) {
                 m["manifest_version"] = 2;
                 m["taken_by"] = "support";
                 m.erase("created");
                 m["card"].erase("macs");
             });
         }, 0, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        temp_dir work, state;
        const std::string dir = work / "b";
        fs::copy(taken / "b", dir);
        r.spoil(dir);
        const process_result got = run_from_backups({dir}, state.path(), {"/bin/true"});
        EXPECT_EQ(got.status, r.status);
        EXPECT_EQ(got.err, r.err.empty() ? "" : "zelnic-sim: backup " + dir + ": " + r.err);
        EXPECT_EQ(fs::exists(zsim::flash_file_path(state.path(), CARD4.addr)), r.err.empty());
    }
    const process_result both = run_from_backups({taken / "b"}, taken.path(), {"/bin/true"}, {"--config", "/dev/null"});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--config and --from-backup do not go together"), std::string::npos) << both.err;
}

}  // namespace
}  // namespace e2e
