// A bad option value costs a card nothing: a later stage's refusal comes
// before the first write, a FIFO is an unreadable file rather than a hang,
// and a dump into a pipe nobody reads keeps no card locked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "flash_store.h"

namespace e2e {
namespace {

const std::string P0 = "enp3s0f0 port0\n";
const std::string LED_USAGE =
    " for led ctrl:\n\t<led_ctrl> <act_tmout> <blk_thre_h> <blk_thre_low>\n\tie: 0x4746c442 0x3b9aca0 0x9e4f58 "
    "0x17d7840\n for led_ctrl notes:\n\t <led3_mode:0x47>,<led2_mode:0x46>,<led1_mode:0xc4>,<led0_mode:0x42>\n"
    "\t\tmode_info: <0x47:1000M> <0x46:100M> <0xc4:ACT, -p blink> <0x42:LINK>\n\n";
std::string unreadable_port_config() {
    std::string config = sim_default_config();
    return config.replace(config.find("iface enp3s0f1 port=1"), 21, "iface enp3s0f1 port=unreadable");
}

void expect_cards_as_preset(const preset_cards& cards) {
    for (const card* c : {&CARD4, &CARD2, &CARD1})
        expect_flash_holds(cards, *c, sample_user_record(c->sn));
}

// One row for each stage that can refuse a value before the first write.
TEST(RefusalBeforeWrite, ARefusedValueLeavesEveryCardAsItWas) {
    temp_dir dir;
    const std::string fw = make_fw(dir / "fw.bin", "0", "0xCA000"), bad = dir / "bad.bin", pxe = dir / "pxe.bin";
    std::vector<u8> damaged = read_file_bytes(fw);
    damaged[0x50000] ^= 0x01;
    write_file_bytes(bad, damaged);
    write_file_bytes(pxe, std::vector<u8>(0x1000, 0x5a));
    const std::string port_1 = "enp3s0f1 port-1\n";
    const struct {
        std::vector<std::string> args;  // after -q
        std::string out;
        std::string log = "";  // -reset-cfg: refused before the erase, so not even the load is made
        std::string config = "";
    } rows[] = {
        {{"-i", "0", "-reset-cfg", "-mac", "zz:zz"}, P0 + "invalid mac-addr:[zz:zz]\n"},
        {{"-i", "0", "-reset-cfg", "-mac-p0", "02:00:00:00:00:10"}, P0 + "ports param is must 1 to 4 \n"},
        {{"-i", "0", "-reset-cfg", "-led", "bad"}, P0 + "invalid led input[bad]: Usage:\n" + LED_USAGE},
        {{"-i", "0", "-reset-cfg", "-si", "64 0 0 0"}, P0 + "invalid main:64\n"},
        {{"-i", "0", "-reset-cfg", "-dp", "12"}, P0 + "read flash dump_para failed \n"},
        {{"-i", "0", "-reset-cfg", "-pxe", pxe, "-fw", bad}, P0 + "file crc error\n"},
        // The earliest refusing stage speaks: the images before the LED.
        {{"-i", "0", "-reset-cfg", "-led", "bad", "-fw", "/nonexistent"}, P0 + "canot' read /nonexistent\n"},
        // A port the record has no entries for.
        {{"-d", "enp3s0f1", "-reset-cfg", "-mac", "02:00:00:00:00:10"}, port_1 + "mac set faild!\n", "",
         unreadable_port_config()},
        {{"-d", "enp3s0f1", "-reset-cfg", "-an", "1"}, port_1 + "set faild!\n", "", unreadable_port_config()},
        // Without an erase the images are the first write: the load is made as ever.
        {{"-i", "0", "-fw", fw, "-si", "64 0 0 0"}, P0 + "invalid main:64\n", "r3"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        preset_cards cards;
        std::vector<std::string> args = r.args;
        args.insert(args.begin(), "-q");
        expect_run(cards, {args, 255, r.out, r.log}, r.config);
        expect_cards_as_preset(cards);
    }
}

// A FIFO that no process writes would block a plain open for ever; the tool
// is given a few seconds, far more than a refusal takes.
TEST(RefusalBeforeWrite, AFifoIsAnUnreadableFile) {
    temp_dir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::vector<std::string> args;
        std::string out, log;
    } rows[] = {
        {{"-q", "-eeprom", fifo, "-dp", "3"}, "read file " + fifo + " failed \n", ""},
        {{"-q", "-i", "0", "-fw", fifo}, P0 + "canot' read " + fifo + "\n", "r3"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args));
        preset_cards cards;
        cards.launcher = {"timeout", "-s", "KILL", "10"};
        expect_run(cards, {r.args, 255, r.out, r.log});
        expect_cards_as_preset(cards);
    }
}

// A run dumping into a FIFO read only after a second run has read the card
// holds no lock while it waits for its reader.
TEST(RefusalBeforeWrite, ADumpWaitingForItsReaderHoldsNoCard) {
    static const char script[] = R"sh(
tool=$1 dir=$2 log=$3
mkfifo "$dir/fifo"
"$tool" -q -i 0 -dp 3 -o "$dir/fifo" >"$dir/first.out" &
first=$!
until [ "$(cat "$log" 2>/dev/null | wc -l)" -ge 2 ]; do sleep 0.02; done
"$tool" -q -i 0 -dp 3 -o "$dir/second.bin"
echo "second=$?"
cat "$dir/fifo" >"$dir/first.bin"
wait "$first"
echo "first=$?"
cat "$dir/first.out"
)sh";
    temp_dir dir;
    preset_cards cards;
    const sim_run r = run_in_sim({"/bin/sh", "-c", script, "dump-to-fifo", tool_path(), dir.path(),
                                  zsim::request_log_path(cards.state.path())},
                                 "", cards.state.path(), 30);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, P0 + "out to: " + dir.path() + "/second.bin\nsecond=0\nfirst=0\n" + P0 + "out to: " +
                         dir.path() + "/fifo\n");
    EXPECT_EQ(log_summary(read_request_log(cards.state.path())), "r3 r3 r3 r3");  // each run: load, dump
    for (const char* file : {"first.bin", "second.bin"})
        EXPECT_EQ(byte_diff(read_file_bytes(dir / file), sample_user_record(CARD4.sn)), "") << file;
}

}  // namespace
}  // namespace e2e
