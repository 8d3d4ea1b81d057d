// The flash channel seen from the driver's side: the request records, malformed replies,
// refused or failing requests, the verified save and the partition dump into a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

// Request headers as the log shows them: magic, cmd, partition,
// req_data_bytes, reply_bytes, little-endian. The load of the user record
// offers room for 480 data bytes; the save sends 480.
constexpr char LOAD_HDR[] = "a9a8a7a6000000000300000000000000f4010000";
constexpr char SAVE_HDR[] = "a9a8a7a60100000003000000e001000000000000";
const std::string DONE = "writing flash.... Done\n", FAILD = "writing flash.... Faild\n";

// The built-in controllers with `faults` on enp3s0f0's maintain file.
std::string with_faults(const std::string& faults) {
    static const std::string builtin = sim_default_config();
    return builtin + "fault enp3s0f0 " + faults + "\n";
}

TEST(FlashChannel, PartitionDumpOffersEachPartitionsReplyRoom) {
    const std::vector<u8> image = preset_image(CARD4, sample_user_record(CARD4.sn));
    const struct {
        int part, status;
        const char* hdr;    // of the dump's read; "": no read
        long dump_size;     // -1: no file
        long image_offset;  // where the dump lies in flash; -1: not flash bytes
    } rows[] = {
        // Firmware and factory configuration: 0x41000 bytes of room.
        {1, 0, "a9a8a7a600000000010000000000000014100400", 0x41000, 0},
        {4, 0, "a9a8a7a600000000040000000000000014100000", 4096, 0x42000},
        {7, 0, "a9a8a7a600000000070000000000000014100000", -1, -1},  // no area: no data
        {10, 0, "a9a8a7a6000000000a0000000000000034000000", 20, -1},  // the version record
        {12, 255, "", -1, -1},
        {0, 0, "", -1, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE("-dp " + std::to_string(r.part));
        preset_cards cards;
        const std::string out_file = cards.state.path() + "/dump.bin", dp = std::to_string(r.part);
        const bool read = *r.hdr, dumped = r.dump_size >= 0;
        expect_run(cards, {{"-q", "-i", "0", "-dp", dp, "-o", out_file}, r.status,
                           "enp3s0f0 port0\n" + (dumped ? "out to: " + out_file + "\n" : "") +
                               (r.status ? "read flash dump_para failed \n" : ""),
                           read ? "r3 r" + dp : "r3"});
        const std::vector<logged_request> log = read_request_log(cards.state.path());
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().hdr, read ? r.hdr : LOAD_HDR);
        ASSERT_EQ(std::filesystem::exists(out_file), dumped);
        if (!dumped)
            continue;
        const std::vector<u8> dump = read_file_bytes(out_file);
        EXPECT_EQ(log.back().reply_data, r.dump_size);
        if (r.image_offset < 0)
            EXPECT_EQ(static_cast<long>(dump.size()), r.dump_size);
        else
            EXPECT_EQ(byte_diff(dump, {image.begin() + r.image_offset, image.begin() + r.image_offset + r.dump_size}), "");
    }
}

TEST(FlashChannel, ExchangesUnderDriverFaults) {
    const char *const OLD = CARD4.sn, *const NEW = "ZS4P0300NEW";
    const std::vector<std::string> set_sn = {"-q", "-i", "0", "-sn", NEW};
    const std::string p0 = "enp3s0f0 port0\n", failed_save = "flash write faild!\n";
    const std::string failed_load = "io eeprom error!canot load mac-sn from flash\n";
    const std::string refused = "faild to open:/sys/class/net/enp3s0f0/maintain\n";
    const std::string erase_refused = "writing flash...." + refused;  // announced before the open
    struct {
        const char* faults;  // of enp3s0f0's maintain file
        tool_case c;
        const char* stored_sn;  // of the record in the 4-port card's flash afterwards
    } const rows[] = {
        {"", {set_sn, 0, p0 + DONE, "r3 w3 r3"}, NEW},
        {"lose-user-writes=1", {set_sn, 0, p0 + DONE + DONE, "r3 w3:lost r3 w3 r3"}, NEW},
        {"lose-user-writes",
         {set_sn, 255, p0 + DONE + DONE + DONE + failed_save, "r3 w3:lost r3 w3:lost r3 w3:lost r3"}, OLD},
        {"write-eio=2", {set_sn, 0, p0 + FAILD + FAILD + DONE, "r3 w3:eio w3:eio w3 r3"}, NEW},
        {"write-eio", {set_sn, 255, p0 + FAILD + FAILD + FAILD + failed_save, "r3 w3:eio w3:eio w3:eio"}, OLD},
        // Two cards with two failed exchanges each: more than the spare descriptors.
        {"write-eio=2\nfault enp4s0f0 write-eio=2",
         {{"-q", "-a", "-sn", NEW}, 0,
          "get 3 device info\n" + p0 + FAILD + FAILD + DONE + "enp4s0f0 port0\n" + FAILD + FAILD + DONE +
              "enp5s0 port0\n" + DONE,
          "r3 w3:eio w3:eio w3 r3 r3 w3:eio w3:eio w3 r3 r3 w3 r3"},
         NEW},
        // The writer goes on after each partial write; the header itself is split.
        {"short-write=7", {set_sn, 0, p0 + DONE, "r3 w3 r3"}, NEW},
        {"short-header=19", {set_sn, 255, p0 + "invalid reply: header 19 bytes\n" + failed_load, "r3"}, OLD},
        // 500 bytes of room offered: 480 data bytes at most.
        {"reply-extra=4", {set_sn, 255, p0 + "invalid reply: data_bytes:484 max:480\n" + failed_load, "r3"}, OLD},
        {"data-short-by=10", {set_sn, 255, p0 + "invalid reply: data 470 of 480 bytes\n" + failed_load, "r3"}, OLD},
        {"no-open", {set_sn, 255, p0 + refused + failed_load, ""}, OLD},
        // The erase is tried three times, like a save.
        {"no-open",
         {{"-q", "-i", "0", "-reset-cfg"}, 255,
          p0 + "reset_ucfg_mac_sn\n" + erase_refused + erase_refused + erase_refused + "do_reset_cfg failed \n", ""},
         OLD},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.faults + (" " + testing::PrintToString(r.c.args)));
        preset_cards cards;
        // Room for only three descriptors beside the standard ones (3 to 5,
        // which the device scan needs at once; inherited ones are closed
        // first): an exchange that left its maintain file open would make a
        // later one fail to open it.
        cards.launcher = {"sh", "-c", "exec 3<&- 4<&- 5<&- && ulimit -n 6 && exec \"$0\" \"$@\""};
        const sim_run run = expect_run(cards, r.c, *r.faults ? with_faults(r.faults) : "");
        const std::string denied = "error: Permission denied\n";
        EXPECT_EQ(run.err, std::string(r.faults) != "no-open" ? "" : r.c.status && r.c.args[3] == "-reset-cfg" ? denied + denied + denied : denied);
        for (const logged_request& e : read_request_log(cards.state.path())) {
            EXPECT_EQ(e.hdr, e.cmd == 0 ? LOAD_HDR : SAVE_HDR);
            EXPECT_EQ(e.payload, e.cmd == 0 ? 0 : 480);
            if (e.cmd == 1) {
                EXPECT_EQ(e.crc32, payload_crc32(sample_user_record(NEW))) << "the whole record each time";
            }
        }
        expect_flash_holds(cards, CARD4, sample_user_record(r.stored_sn));
    }
}

}  // namespace
}  // namespace e2e
