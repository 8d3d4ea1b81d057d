// The flash channel seen from the driver's side: the request records the
// tool writes into the maintain file, how it treats malformed replies and
// refused or failing requests, the verified save of the user record, the
// erase and the partition dump into a file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim_harness.h"

namespace e2e {
namespace {

constexpr char CARD[] = "0000:03:00.0";
constexpr char IFACE[] = "enp3s0f0";
constexpr char MAINTAIN[] = "/sys/class/net/enp3s0f0/maintain";
// The read of the user record, as the protocol fixes it byte for byte.
constexpr char UCFG_READ_HDR[] = "a9a8a7a6000000000300000000000000f4010000";
const std::size_t UCFG_AT = user_record_offset(flash_layout::standard);

// One 4-port card with one interface; `faults` go on the interface's line.
std::string one_card_config(const std::string& faults = "") {
    return std::string("card ") + CARD + " device=0x8308\niface " + IFACE + " port=0 " + faults + "\n";
}

// The card's flash preset to a known image, so every expected byte comes from
// the test and not from the simulator's factory content.
struct preset_card {
    temp_dir state;
    std::vector<u8> record = sample_user_record("ZS4P0300OLD");
    std::vector<u8> image = patterned_image(flash_size(flash_layout::standard), UCFG_AT, record);
    preset_card() { write_flash_image(state.path(), CARD, image); }
};

// The request log in short form: "r3" a read of partition 3, "w3" a write,
// ":RESULT" appended when the simulator did not answer "ok".
std::string log_summary(const std::vector<logged_request>& log) {
    std::string s;
    for (const logged_request& e : log) {
        if (!s.empty())
            s += ' ';
        s += (e.cmd == 0 ? "r" : e.cmd == 1 ? "w" : "?") + std::to_string(e.part);
        if (e.result != "ok")
            s += ":" + e.result;
    }
    return s;
}

std::string repeat(const std::string& text, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += text;
    return s;
}

TEST(FlashChannel, PartitionDumpOffersEachPartitionsReplyRoom) {
    preset_card card;
    const std::string out_file = card.state.path() + "/dump.bin";
    struct row {
        int part;
        int reply_bytes;       // header included
        long dump_size;        // -1: the reply carries no data, no file
        long image_offset;     // where the dump lies in flash; -1: not flash bytes
    } const rows[] = {
        {3, 500, 480, 0x41000},
        {2, 4116, 4096, 0x40000},
        {1, 0x41000 + 20, 0x41000, 0},  // firmware and factory configuration
        {4, 4116, 4096, 0x42000},
        {10, 52, 20, -1},  // the version record
        {7, 4116, -1, -1},
        {11, 4116, -1, -1},
    };
    for (const row& r : rows) {
        SCOPED_TRACE("-dp " + std::to_string(r.part));
        std::remove(out_file.c_str());
        std::remove(request_log_path(card.state.path()).c_str());
        const sim_run run = run_tool({"-q", "-i", "0", "-dp", std::to_string(r.part), "-o", out_file},
                                     one_card_config(), card.state.path());
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(run.out, std::string("enp3s0f0 port0\n") + (r.dump_size >= 0 ? "out to: " + out_file + "\n" : ""));

        const std::vector<logged_request> log = read_request_log(card.state.path());
        ASSERT_EQ(log.size(), 2u) << log_summary(log);
        EXPECT_EQ(log[0].hdr, UCFG_READ_HDR);
        EXPECT_EQ(log[1].hdr, request_hdr_hex(0, r.part, 0, r.reply_bytes));
        EXPECT_EQ(log[1].payload, 0);
        EXPECT_EQ(log[1].result, "ok");

        ASSERT_EQ(file_exists(out_file), r.dump_size >= 0);
        if (r.dump_size < 0)
            continue;
        const std::vector<u8> dump = read_file_bytes(out_file);
        EXPECT_EQ(static_cast<long>(dump.size()), r.dump_size);
        EXPECT_EQ(static_cast<long>(dump.size()), log[1].reply_data);
        if (r.image_offset >= 0) {
            EXPECT_TRUE(std::equal(dump.begin(), dump.end(), card.image.begin() + r.image_offset))
                << "dump differs from flash at " << r.image_offset;
        }
    }
}

TEST(FlashChannel, PartitionDumpOutOfRangeOrZero) {
    struct row {
        const char* dp;
        int status;
        const char* out;
    } const rows[] = {
        {"12", 255, "enp3s0f0 port0\nread flash dump_para failed \n"},
        {"0", 0, "enp3s0f0 port0\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string("-dp ") + r.dp);
        temp_dir state;
        const std::string out_file = state.path() + "/dump.bin";
        const sim_run run = run_tool({"-q", "-i", "0", "-dp", r.dp, "-o", out_file}, one_card_config(), state.path());
        EXPECT_EQ(run.status, r.status) << run.err;
        EXPECT_EQ(run.out, r.out);
        // Only the load of the user record reaches the driver.
        EXPECT_EQ(log_summary(read_request_log(state.path())), "r3");
        EXPECT_FALSE(file_exists(out_file));
    }
}

TEST(FlashChannel, SaveWritesTheRecordThenReadsItBack) {
    preset_card card;
    const std::vector<u8> expected = with_serial_number(card.record, "ZS4P0300NEW");
    const sim_run run = run_tool({"-q", "-i", "0", "-sn", "ZS4P0300NEW"}, one_card_config(), card.state.path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "enp3s0f0 port0\nwriting flash.... Done\n");

    const std::vector<logged_request> log = read_request_log(card.state.path());
    ASSERT_EQ(log_summary(log), "r3 w3 r3");
    EXPECT_EQ(log[0].hdr, UCFG_READ_HDR);
    EXPECT_EQ(log[1].hdr, request_hdr_hex(1, 3, 480, 0));
    EXPECT_EQ(log[1].payload + 20, 500);
    EXPECT_EQ(log[1].crc32, payload_crc32(expected));
    EXPECT_EQ(log[2].hdr, UCFG_READ_HDR);

    std::vector<u8> want_image = card.image;
    std::copy(expected.begin(), expected.end(), want_image.begin() + static_cast<std::ptrdiff_t>(UCFG_AT));
    EXPECT_TRUE(read_flash_image(card.state.path(), CARD) == want_image) << "only the record may change";
}

// The tool with room for only three descriptors beside the standard ones
// (descriptors 3 to 5, which the device scan needs at once): an exchange
// that left its maintain file open would make a later one fail to open it.
// Descriptors inherited there are closed first.
sim_run run_tool_with_few_descriptors(const std::vector<std::string>& args, const std::string& config,
                                      const std::string& state_dir) {
    std::vector<std::string> command = {"sh", "-c", "exec 3<&- 4<&- 5<&- && ulimit -n 6 && exec \"$0\" \"$@\"",
                                        tool_path()};
    command.insert(command.end(), args.begin(), args.end());
    return run_in_sim(command, config, state_dir);
}

TEST(FlashChannel, VerifiedSaveUnderWriteFaults) {
    const std::string done = "writing flash.... Done\n", faild = "writing flash.... Faild\n";
    struct row {
        const char* faults;
        int status;
        std::string out;   // after the device line
        const char* log;
        bool stored;       // the new record is in flash afterwards
    } const rows[] = {
        {"lose-user-writes=1", 0, repeat(done, 2), "r3 w3:lost r3 w3 r3", true},
        {"lose-user-writes", 255, repeat(done, 3) + "flash write faild!\n", "r3 w3:lost r3 w3:lost r3 w3:lost r3",
         false},
        {"write-eio=1", 0, faild + done, "r3 w3:eio w3 r3", true},
        // Two failed exchanges, then two more that each need a descriptor.
        {"write-eio=2", 0, repeat(faild, 2) + done, "r3 w3:eio w3:eio w3 r3", true},
        {"write-eio", 255, repeat(faild, 3) + "flash write faild!\n", "r3 w3:eio w3:eio w3:eio", false},
        // The writer goes on after each partial write; the header itself is split.
        {"short-write=7", 0, done, "r3 w3 r3", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.faults);
        preset_card card;
        const std::vector<u8> expected = with_serial_number(card.record, "ZS4P0300NEW");
        const sim_run run = run_tool_with_few_descriptors({"-q", "-i", "0", "-sn", "ZS4P0300NEW"},
                                                          one_card_config(r.faults), card.state.path());
        EXPECT_EQ(run.status, r.status) << run.err;
        EXPECT_EQ(run.out, "enp3s0f0 port0\n" + r.out);
        EXPECT_EQ(run.err, "");
        const std::vector<logged_request> log = read_request_log(card.state.path());
        EXPECT_EQ(log_summary(log), r.log);
        for (const logged_request& e : log) {
            if (e.cmd == 1) {
                EXPECT_EQ(e.hdr, request_hdr_hex(1, 3, 480, 0));
                EXPECT_EQ(e.crc32, payload_crc32(expected)) << "every attempt sends the whole record";
            }
        }
        const std::vector<u8> stored = user_record_at(read_flash_image(card.state.path(), CARD), UCFG_AT);
        EXPECT_TRUE(stored == (r.stored ? expected : card.record));
    }
}

TEST(FlashChannel, FailedExchangesCloseTheirDescriptors) {
    // Two cards, each losing its first two writes to EIO: four failed
    // exchanges in one run, more than the three spare descriptors, each
    // followed by exchanges that need one.
    const std::string config =
        "card 0000:03:00.0 device=0x8308\niface enp3s0f0 port=0 write-eio=2\n"
        "card 0000:04:00.0 device=0x8308\niface enp4s0f0 port=0 write-eio=2\n";
    const sim_run run = run_tool_with_few_descriptors({"-q", "-a", "-sn", "ZS4P0300NEW"}, config, "");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string save = "writing flash.... Faild\nwriting flash.... Faild\nwriting flash.... Done\n";
    EXPECT_EQ(run.out, "get 2 device info\nenp3s0f0 port0\n" + save + "enp4s0f0 port0\n" + save);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(log_summary(read_request_log(run.state_dir)),
              "r3 w3:eio w3:eio w3 r3 r3 w3:eio w3:eio w3 r3");
}

TEST(FlashChannel, MalformedRepliesFailTheLoad) {
    const std::string failed_load = "io eeprom error!canot load mac-sn from flash\n";
    struct row {
        const char* fault;
        const char* message;
    } const rows[] = {
        {"short-header=0", "invalid reply: header 0 bytes\n"},
        {"short-header=19", "invalid reply: header 19 bytes\n"},
        // 500 bytes of room offered: 480 data bytes at most.
        {"reply-extra=4", "invalid reply: data_bytes:484 max:480\n"},
        {"data-short-by=10", "invalid reply: data 470 of 480 bytes\n"},
        {"data-short-by=480", "invalid reply: data 0 of 480 bytes\n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.fault);
        preset_card card;
        // A serial number to store: the run must end before any save.
        const sim_run run = run_tool({"-q", "-i", "0", "-sn", "ZS4P0300NEW"}, one_card_config(r.fault),
                                     card.state.path());
        EXPECT_EQ(run.status, 255) << run.err;
        EXPECT_EQ(run.out, std::string("enp3s0f0 port0\n") + r.message + failed_load);
        EXPECT_EQ(log_summary(read_request_log(card.state.path())), "r3");
        EXPECT_TRUE(read_flash_image(card.state.path(), CARD) == card.image);
    }
}

TEST(FlashChannel, MaintainFileThatCannotBeOpened) {
    const std::string refused = std::string("faild to open:") + MAINTAIN + "\n";
    struct row {
        std::vector<std::string> args;
        std::string out;  // after the device line
    } const rows[] = {
        {{"-q", "-i", "0"}, refused + "io eeprom error!canot load mac-sn from flash\n"},
        // The write announces itself before it opens the file.
        {{"-q", "-i", "0", "-reset-cfg"}, "reset_ucfg_mac_sn\nwriting flash...." + refused + "do_reset_cfg failed \n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.args.back() == "0" ? "load" : r.args.back());
        preset_card card;
        const sim_run run = run_tool(r.args, one_card_config("no-open"), card.state.path());
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.out, "enp3s0f0 port0\n" + r.out);
        EXPECT_EQ(run.err, "error: Permission denied\n");
        EXPECT_TRUE(read_request_log(card.state.path()).empty());
        EXPECT_TRUE(read_flash_image(card.state.path(), CARD) == card.image);
    }
}

TEST(FlashChannel, ResetCfgAloneLeavesTheRecordErased) {
    preset_card card;
    const sim_run run = run_tool({"-q", "-i", "0", "-reset-cfg"}, one_card_config(), card.state.path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "enp3s0f0 port0\nreset_ucfg_mac_sn\nwriting flash.... Done\n");

    const std::vector<u8> erased(USER_RECORD_SZ, 0xff);
    const std::vector<logged_request> log = read_request_log(card.state.path());
    // The erase, then the load; the defaults loaded are not saved.
    ASSERT_EQ(log_summary(log), "w3 r3");
    EXPECT_EQ(log[0].hdr, request_hdr_hex(1, 3, 480, 0));
    EXPECT_EQ(log[0].crc32, payload_crc32(erased));

    std::vector<u8> want_image = card.image;
    std::fill_n(want_image.begin() + static_cast<std::ptrdiff_t>(UCFG_AT), USER_RECORD_SZ, 0xff);
    EXPECT_TRUE(read_flash_image(card.state.path(), CARD) == want_image);
}

TEST(FlashChannel, Kv3CardKeepsItsRecordAtItsOwnOffset) {
    constexpr char KV3_CARD[] = "0000:05:00.0";
    temp_dir state;
    const std::vector<u8> record = sample_user_record("ZS1P0500OLD");
    const std::size_t kv3_ucfg_at = user_record_offset(flash_layout::kv3);
    const std::vector<u8> image = patterned_image(flash_size(flash_layout::kv3), kv3_ucfg_at, record);
    write_flash_image(state.path(), KV3_CARD, image);
    const std::string out_file = state.path() + "/ucfg.bin";

    const sim_run run = run_tool({"-q", "-i", "0", "-sn", "ZS1P0500NEW", "-dp", "3", "-o", out_file},
                                 std::string("card ") + KV3_CARD + " device=0x8208\niface enp5s0 port=0\n",
                                 state.path());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "enp5s0 port0\nout to: " + out_file + "\nwriting flash.... Done\n");
    EXPECT_EQ(log_summary(read_request_log(state.path())), "r3 r3 w3 r3");

    // The dump shows the record as it stood before this run's save.
    EXPECT_TRUE(read_file_bytes(out_file) == record);
    const std::vector<u8> expected = with_serial_number(record, "ZS1P0500NEW");
    std::vector<u8> want_image = image;
    std::copy(expected.begin(), expected.end(), want_image.begin() + static_cast<std::ptrdiff_t>(kv3_ucfg_at));
    EXPECT_TRUE(read_flash_image(state.path(), KV3_CARD) == want_image);
}

}  // namespace
}  // namespace e2e
