// Failures that must never end in success: a dump file that cannot be written
// whole, an erase the flash does not keep, a one-lane serdes set for a port
// the record has no entry for, an image file too large to hold in memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "synthetic_image.h"

namespace e2e {
namespace {

constexpr char DONE[] = "writing flash.... Done\n";

std::string config_with(const std::string& from, const std::string& to, const std::string& extra = "") {
    std::string config = sim_default_config();
    const std::size_t at = config.find(from);
    if (at == std::string::npos)
        throw std::runtime_error("default config lacks " + from);
    return config.replace(at, from.size(), to) + extra;
}

// Each run and the 4-port card's record after it (`stored` empty: the preset one, unchanged).
TEST(FailureStatus, EachFailureEndsTheRunWith255) {
    const std::string unreadable_port = config_with("iface enp3s0f1 port=1", "iface enp3s0f1 port=unreadable");
    const std::string reset = "enp3s0f0 port0\nreset_ucfg_mac_sn\n";
    record erased_new = reset_user_record(), four_lanes = sample_user_record(CARD4.sn);
    put_text(erased_new, ucfg_at::sn, "NEW");
    put_bytes(four_lanes, ucfg_at::si + 16, {21, 0, 11, 11, 22, 0, 12, 12, 23, 0, 13, 13, 24, 0, 14, 14});
    put_u32(four_lanes, ucfg_at::si_valid_flags, 0xffff0000);
    const struct {
        std::string config;
        tool_case c;
        std::string err;
        std::optional<record> stored;
    } rows[] = {
        {"",
         {{"-q", "-i", "0", "-dp", "3", "-o", "/dev/full"}, 255,
          "enp3s0f0 port0\nout to: /dev/full\nread flash dump_para failed \n", "r3 r3"},
         "save faild!\n: No space left on device\n", {}},
        // The erase is lost every time: three attempts, then the run ends
        // before a setter could save into the old record.
        {sim_default_config() + "fault enp3s0f0 lose-user-writes\n",
         {{"-q", "-i", "0", "-reset-cfg", "-sn", "NEW"}, 255, reset + DONE + DONE + DONE + "do_reset_cfg failed \n",
          "w3:lost r3 w3:lost r3 w3:lost r3"},
         "", {}},
        // An erase that sticks on its second attempt lets the run go on.
        {sim_default_config() + "fault enp3s0f0 lose-user-writes=1\n",
         {{"-q", "-i", "0", "-reset-cfg", "-sn", "NEW"}, 0, reset + DONE + DONE + DONE, "w3:lost r3 w3 r3 r3 w3 r3"},
         "", erased_new},
        {unreadable_port,
         {{"-q", "-d", "enp3s0f1", "-si", "1 2 3 4"}, 255, "enp3s0f1 port-1\ninvalid si port:-1\n", "r3"}, "", {}},
        // Four lanes on an unreadable port go to the second serdes entries.
        {unreadable_port,
         {{"-q", "-d", "enp3s0f1", "-si", "21 0 11 11,22 0 12 12,23 0 13 13,24 0 14 14"}, 0,
          "enp3s0f1 port-1\n" + std::string(DONE), "r3 w3 r3"},
         "", four_lanes},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.c.args));
        preset_cards cards;
        EXPECT_EQ(expect_run(cards, r.c, r.config).err, r.err);
        expect_flash_holds(cards, CARD4, r.stored.value_or(sample_user_record(CARD4.sn)));
    }
}

TEST(FailureStatus, GeneratedImageThatCannotBeSavedWholeFails) {
    temp_dir dir;
    const std::string fw = dir.path() + "/fw.bin";
    write_file_bytes(fw, zsim::make_fw_image({}));
    expect_run(preset_cards(), {{"-q", "-genbin", "-ports", "4", "-fw", fw, "-o", "/dev/full"}, 255,
                                "gen bin: /dev/full 266240 bytes\n", ""});
}

TEST(FailureStatus, ImageFileAbove16MiBIsUnreadable) {
    temp_dir dir;
    const std::string big = dir.path() + "/big.bin";
    write_file_bytes(big, preset_image(CARD4, sample_user_record("BIG")));
    std::filesystem::resize_file(big, 16 * 1024 * 1024 + 1);  // sparse: nothing more is written
    expect_run(preset_cards(), {{"-q", "-eeprom", big, "-dp", "3"}, 255, "read file " + big + " failed \n", ""});
    std::filesystem::resize_file(big, 16 * 1024 * 1024);
    expect_run(preset_cards(), {{"-q", "-eeprom", big, "-dp", "3", "-o", dir.path() + "/u.bin"}, 0,
                                "fake port0\nout to: " + dir.path() + "/u.bin\n", ""});
}

}  // namespace
}  // namespace e2e
