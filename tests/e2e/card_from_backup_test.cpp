// A card brought back from a zelvoctl backup: taken in the simulator, loaded
// with --from-backup, it holds the original's flash and shows as it does; a
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

// The shows of each card.
std::vector<std::string> shows() {
    std::string script;
    for (const char* pos : POSITIONS)
        script += std::string("\"$0\" -q -i ") + pos + " -sn-show -mac-show -fw-version || exit 1; ";
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

void edit_manifest(const std::string& dir, const std::function<void(json&)>& edit) {
    json m = json::parse(std::ifstream(dir + "/manifest.json"));
    edit(m);
    std::ofstream(dir + "/manifest.json") << m.dump(2);
}

TEST(CardFromBackup, EveryModelLoadsAsTheOriginalAndADamagedBackupIsRefused) {
    preset_cards cards;
    temp_dir backups, loaded_state;
    const sim_run taken = run_in_sim({zelvoctl_path(), "--json", "backup", "--all", "--to", backups.path()}, "",
                                     cards.state.path());
    ASSERT_EQ(taken.status, 0) << taken.err;
    std::vector<std::string> dirs;  // in the cards' order, whatever zelvoctl names the folders
    const json doc = json::parse(taken.out);
    for (const json& b : doc.at("backups"))
        dirs.push_back(b.at("dir").get<std::string>());
    ASSERT_EQ(dirs.size(), 3u);

    const sim_run original = run_in_sim(shows(), "", cards.state.path());
    ASSERT_EQ(original.status, 0) << original.err;
    const process_result loaded = run_from_backups(dirs, loaded_state.path(), shows());
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(loaded.out, original.out);
    EXPECT_NE(original.out.find(" FW\t: 1.6.3.0"), std::string::npos) << original.out;
    for (const card* c : CARDS)
        EXPECT_EQ(byte_diff(read_file_bytes(zsim::flash_file_path(loaded_state.path(), c->addr)),
                            as_backed_up(*c, read_file_bytes(zsim::flash_file_path(cards.state.path(), c->addr)))),
                  "")
            << c->addr;

    struct row {
        const char* name;
        std::function<void(const std::string&)> spoil;
        std::string err;  // after "zelnic-sim: backup DIR: "
    };
    const row rows[] = {
        {"one byte flipped", [](const std::string& d) {
             std::vector<u8> b = read_file_bytes(d + "/user.bin");
             b[5] ^= 1;
             write_file_bytes(d + "/user.bin", b);
         }, "user.bin is damaged: its SHA-256 differs from the manifest\n"},
        {"file missing", [](const std::string& d) { fs::remove(d + "/pcsphy.bin"); },
         "pcsphy.bin is missing or unreadable\n"},
        {"file cut", [](const std::string& d) { fs::resize_file(d + "/pxe.bin", 100); },
         "pxe.bin holds 100 bytes, the manifest says 524288\n"},
        {"no manifest", [](const std::string& d) { fs::remove(d + "/manifest.json"); },
         "no readable manifest.json\n"},
        {"a partition not listed", [](const std::string& d) {
             edit_manifest(d, [](json& m) { m["files"].erase(m["files"].size() - 1); });
         }, "manifest.json lists no file of partition 10\n"},
        {"a file outside the folder", [](const std::string& d) {
             edit_manifest(d, [](json& m) { m["files"][0]["file"] = "../firmware.bin"; });
         }, "manifest.json names a file outside the folder: '../firmware.bin'\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        temp_dir work, state;
        const std::string dir = work / "b";
        fs::copy(dirs[0], dir);
        r.spoil(dir);
        const process_result got = run_from_backups({dir}, state.path(), {"/bin/true"});
        EXPECT_EQ(got.status, 125);
        EXPECT_EQ(got.err, "zelnic-sim: backup " + dir + ": " + r.err);
        EXPECT_FALSE(fs::exists(zsim::flash_file_path(state.path(), CARD4.addr)));
    }
    const process_result both = run_from_backups({dirs[0]}, loaded_state.path(), {"/bin/true"}, {"--config", "/dev/null"});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("--config and --from-backup do not go together"), std::string::npos) << both.err;
}

}  // namespace
}  // namespace e2e
