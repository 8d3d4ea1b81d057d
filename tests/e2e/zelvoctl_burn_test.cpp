// zelvoctl burn and verify inside the driver simulator: the card keeps its
// record, an identical burn writes nothing, a dry run writes nothing, a lost
// write is caught and the burn's own backup brings the card back.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "e2e_support.h"

namespace e2e {
namespace {

using json = nlohmann::json;

sim_run in_sim(const std::vector<std::string>& command, const std::string& state, const std::string& config = "") {
    return run_in_sim(command, config, state);
}

sim_run zelvoctl(std::vector<std::string> args, const std::string& state, const std::string& config = "") {
    const std::vector<std::string> command = zelvoctl_command(state);
    args.insert(args.begin(), command.begin(), command.end());
    return in_sim(args, state, config);
}

std::string writes_of(const std::string& state, std::size_t from) {
    const auto log = read_request_log(state);
    std::string writes;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].cmd == 1)
            writes += "w" + std::to_string(log[i].part) + (log[i].result == "ok" ? "" : ":" + log[i].result) + " ";
    return writes;
}

struct burn_card {
    card c;
    const char* iface;
    const char* chip_group;
    const char* fw_size;
    std::size_t pxe_at;  // where the PXE area starts
};
const burn_card CARDS[] = {
    {CARD4, "enp3s0f0", "0x88488308", "0x41000", 0x4A000},
    {CARD2, "enp4s0f1", "0x88488308", "0x42000", 0x4A000},  // runs on over the user area
    {CARD1, "enp5s0", "0x88488208", "0x1E000", 0x20000},
};

TEST(ZelvoctlBurn, EachCardKeepsItsRecordVerifiesAndABurnAgainWritesNothing) {
    const temp_dir state, files;
    for (const burn_card& b : CARDS) {
        const std::string fw = files / (std::string(b.iface) + ".fw"), pxe = files / "pxe.bin";
        ASSERT_EQ(in_sim({sim_path(), "make-fw", "--crc", "--chip-group", b.chip_group, "--size", b.fw_size, fw},
                         state.path()).status, 0);
        std::vector<u8> pxe_bytes(0x9000);
        for (std::size_t i = 0; i < pxe_bytes.size(); ++i)
            pxe_bytes[i] = static_cast<u8>(i * 7 + 1);
        write_file_bytes(pxe, pxe_bytes);
        const std::string flash_file = state.path() + "/" + b.c.addr + ".flash";
        zelvoctl({"list"}, state.path());  // the simulator lays the flash images out
        const std::vector<u8> before = read_file_bytes(flash_file);

        std::size_t logged = read_request_log(state.path()).size();
        const sim_run dry = zelvoctl({"--json", "burn", b.iface, "--fw", fw, "--pxe", pxe, "--dry-run"}, state.path());
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_EQ(writes_of(state.path(), logged), "") << "a dry run wrote";
        const json plan = json::parse(dry.out)["plan"];
        EXPECT_EQ(plan["identity"]["kept"], true) << plan;
        EXPECT_EQ(plan["identity"]["bytes"], b.c.addr == CARD2.addr ? 480 : 0) << plan;
        EXPECT_EQ(plan["trailer_renewed"], true);

        const sim_run burn = zelvoctl({"burn", b.iface, "--fw", fw, "--pxe", pxe, "--backup-dir", files / b.c.addr},
                                      state.path());
        EXPECT_EQ(burn.status, 0) << burn.err;
        const std::vector<u8> after = read_file_bytes(flash_file);
        EXPECT_EQ(byte_diff({after.begin() + static_cast<long>(b.c.record_at), after.begin() + static_cast<long>(b.c.record_at) + 480},
                            {before.begin() + static_cast<long>(b.c.record_at), before.begin() + static_cast<long>(b.c.record_at) + 480}),
                  "") << b.iface << ": the card's record changed";
        EXPECT_EQ(byte_diff({after.begin() + static_cast<long>(b.pxe_at), after.begin() + static_cast<long>(b.pxe_at + pxe_bytes.size())},
                            pxe_bytes), "") << b.iface;

        const sim_run verify = zelvoctl({"verify", b.iface, "--fw", fw, "--pxe", pxe}, state.path());
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
        if (b.c.flash_size == 0xCA000) {  // an image file stands for a card of the default layout
            const sim_run offline = zelvoctl({"verify", "--fw", fw, "--pxe", pxe, "--image", flash_file}, state.path());
            EXPECT_EQ(offline.status, 0) << offline.out << offline.err;
        }
        logged = read_request_log(state.path()).size();
        const sim_run again = zelvoctl({"burn", b.iface, "--fw", fw, "--pxe", pxe, "--no-backup"}, state.path());
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(writes_of(state.path(), logged), "") << b.iface << ": an identical burn wrote";
    }
}

TEST(ZelvoctlBurn, RefusalsComeBeforeAnyWrite) {
    const temp_dir state, files;
    const std::string kv3 = files / "kv3.fw", kv9 = files / "kv9.fw", missing = files / "none.fw";
    ASSERT_EQ(in_sim({sim_path(), "make-fw", "--chip-group", "0x88488208", "--size", "0x1E000", kv3}, state.path()).status, 0);
    ASSERT_EQ(in_sim({sim_path(), "make-fw", "--chip-group", "0x88488308", kv9}, state.path()).status, 0);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string code;
    } cases[] = {
        {{"burn", "enp3s0f0", "--fw", kv3}, 4, "image_refused"},
        {{"burn", "enp5s0", "--fw", kv9}, 4, "image_refused"},
        {{"burn", "enp3s0f0", "--fw", missing}, 4, "image_refused"},
        {{"burn", "enp3s0f0", "--fw", kv9, "--no-backup", "--backup-dir", files.path()}, 2, "usage"},
        {{"verify", "enp3s0f0", "--fw", kv3}, 4, "image_refused"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--json");
        const std::size_t logged = read_request_log(state.path()).size();
        const sim_run r = zelvoctl(args, state.path());
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_EQ(json::parse(r.out)["error"]["code"], c.code) << r.out;
        EXPECT_EQ(writes_of(state.path(), logged), "") << r.out;
    }
}

TEST(ZelvoctlBurn, LostWritesAreCaughtAndTheBurnsBackupRestoresTheCard) {
    const temp_dir state, files;
    const std::string fw = files / "kv9.fw", pxe = files / "pxe.bin", backup = files / "backup";
    ASSERT_EQ(in_sim({sim_path(), "make-fw", "--crc", "--chip-group", "0x88488308", fw}, state.path()).status, 0);
    write_file_bytes(pxe, std::vector<u8>(0x1000, 0x3c));
    zelvoctl({"list"}, state.path());
    const std::string flash_file = state.path() + "/" + CARD4.addr + ".flash";
    const std::vector<u8> before = read_file_bytes(flash_file);
    // The PXE write is lost, the firmware write lands: the card is half burnt.
    const sim_run lost = zelvoctl({"burn", "enp3s0f0", "--fw", fw, "--pxe", pxe, "--backup-dir", backup}, state.path(),
                                  sim_default_config() + "fault enp3s0f0 lose-writes=1\n");
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(byte_diff(read_file_bytes(flash_file), before), "");
    EXPECT_NE(lost.err.find("restore with: zelvoctl restore enp3s0f0 --from " + backup), std::string::npos) << lost.err;
    const sim_run restored = zelvoctl({"restore", "enp3s0f0", "--from", backup}, state.path());
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(byte_diff(read_file_bytes(flash_file), before), "");
}

}  // namespace
}  // namespace e2e
