// The firmware and PXE update as it lands in a card's flash: refusals leave partition 1
// alone, every card keeps its own user record with a renewed trailer in exactly these
// requests, and an image made with -genbin put on a card. The file road's update is in
// the file-road table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/byte_order.h"
#include "crc32_reference.h"
#include "e2e_support.h"
#include "flash_store.h"
#include "synthetic_image.h"

namespace e2e {
namespace {

constexpr u32 KV9 = 0x88488308, KV3 = 0x88488208;
const std::string DONE = "writing flash.... Done\n", FAILD = "writing flash.... Faild\n";

std::vector<u8> fw_image(u32 size, u32 group = 0, bool crc = true) {
    zsim::fw_image_params p;
    p.size = size;
    p.chip_group = group;
    p.crc = crc;
    return zsim::make_fw_image(p);
}

std::vector<u8> pxe_image(std::size_t size) {
    std::vector<u8> b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<u8>(0xA5 ^ (i * 3) ^ (i >> 11));
    return b;
}

std::size_t pxe_at(const card& c) { return c.flash_size == 0x80000 ? 0x20000 : 0x4A000; }

// What the update must write for card `c` holding record `r`: the file, the record
// over it at the card's user offset when the image reaches into that area (cut to
// what the image holds), and a trailer renewed by the bitwise reference CRC.
std::vector<u8> spliced(const card& c, std::vector<u8> img, const record& r) {
    if (img.size() > c.record_at)
        std::copy_n(r.begin(), std::min(USER_RECORD_SZ, img.size() - c.record_at), img.begin() + c.record_at);
    if (img.size() >= 512 && get_le32(img.data() + 504) == 0x43524332) {
        put_le32(img.data() + 504, 0);
        put_le32(img.data() + 508, 0);
        put_le32(img.data() + 508, test_support::bitwise_crc32(0xFFFFFFFF, img.data(), img.size()));
        put_le32(img.data() + 504, 0x43524332);
    }
    return img;
}

std::vector<u8> with(std::vector<u8> flash, std::size_t at, const std::vector<u8>& bytes) {
    put_bytes(flash, at, bytes);
    return flash;
}

std::vector<u8> preset(const card& c) { return preset_image(c, sample_user_record(c.sn)); }

std::vector<u8> flash_of(const preset_cards& cards, const card& c) {
    return read_file_bytes(zsim::flash_file_path(cards.state.path(), c.addr));
}

// Image files for one test.
struct files {
    temp_dir dir;
    std::string operator()(const std::string& name, const std::vector<u8>& bytes) {
        write_file_bytes(dir / name, bytes);
        return dir / name;
    }
};

TEST(FwUpdate, RefusedOrFailedUpdatesLeavePartitionOneAlone) {
    files f;
    std::vector<u8> damaged = fw_image(0xCA000);
    damaged[0x50000] ^= 0x01;
    const std::vector<u8> pxe = pxe_image(0x1000);
    const std::string fw = f("fw.bin", fw_image(0xCA000)), bad = f("bad.bin", damaged),
                      pxe_file = f("pxe.bin", pxe), kv9 = f("kv9.bin", fw_image(0x41000, KV9)),
                      kv3 = f("kv3.bin", fw_image(0x41000, KV3)),
                      tiny = f("tiny.bin", std::vector<u8>(63, 0)), huge = f("huge.bin", fw_image(0xCA001, 0, false)),
                      big_pxe = f("big_pxe.bin", pxe_image(0x80000)), missing = f.dir / "missing";
    const std::string p0 = "enp3s0f0 port0\n", kv3_card = "enp5s0 port0\n";
    struct {
        std::vector<std::string> args;
        std::string faults;  // of enp3s0f0
        int status;
        std::string out, log;
        const card* changed;  // the card whose PXE area now holds `pxe`; none: every card as preset
    } const rows[] = {
        {{"-i", "0", "-fw", bad}, "", 255, p0 + "file crc error\n", "r3", nullptr},
        // The PXE image goes first and stays written.
        {{"-i", "0", "-pxe", pxe_file, "-fw", bad}, "", 255, p0 + DONE + "file crc error\n", "r3 w5", &CARD4},
        {{"-i", "6", "-fw", kv9}, "", 255, kv3_card + "fw bin is not for KV3 !\n", "r3", nullptr},
        {{"-i", "4", "-fw", kv3}, "", 255, "enp4s0f0 port0\nfw bin is not for KV9 !\n", "r3", nullptr},
        {{"-i", "0", "-pxe", missing, "-fw", fw}, "", 255, p0 + "canot' read " + missing + "\n", "r3", nullptr},
        {{"-i", "0", "-fw", tiny}, "", 255, p0 + "fw bin too small: " + tiny + "\n", "r3", nullptr},
        // One-character paths are not given: nothing is read or written.
        {{"-i", "0", "-fw", "x", "-pxe", "y"}, "", 0, p0, "r3", nullptr},
        // More than the flash holds: the driver refuses the write.
        {{"-i", "0", "-fw", huge}, "", 255, p0 + FAILD + "write Firmware to flash faile \n", "r3 r3 w1:enospc", nullptr},
        {{"-i", "6", "-pxe", big_pxe}, "", 255, kv3_card + FAILD + "write PXE to flash failed \n", "r3 w5:enospc",
         nullptr},
        // The record cannot be read for the splice.
        {{"-i", "0", "-fw", fw}, "fail-reads-after=1", 255, p0 + "invalid reply: header 0 bytes\nio eeprom error!",
         "r3 r3", nullptr},
        // The writes fail in the driver.
        {{"-i", "0", "-pxe", pxe_file, "-fw", fw}, "write-eio=1", 255, p0 + FAILD + "write PXE to flash failed \n",
         "r3 w5:eio", nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.args) + " " + r.faults);
        preset_cards cards;
        std::vector<std::string> args = r.args;
        args.insert(args.begin(), "-q");
        expect_run(cards, {args, r.status, r.out, r.log},
                   r.faults.empty() ? "" : sim_default_config() + "fault enp3s0f0 " + r.faults + "\n");
        for (const card* c : {&CARD4, &CARD2, &CARD1})
            EXPECT_EQ(byte_diff(flash_of(cards, *c), c == r.changed ? with(preset(*c), pxe_at(*c), pxe) : preset(*c)),
                      "")
                << c->addr;
    }
}

TEST(FwUpdate, EveryCardGetsItsOwnRecordUntilOneFails) {
    files f;
    // 0x41100 bytes: 256 bytes of the default cards' record, all of the KV3 card's.
    const std::vector<u8> fw = fw_image(0x41100), pxe = pxe_image(0x60000);
    const std::string fw_file = f("fw.bin", fw), pxe_file = f("pxe.bin", pxe);
    const auto updated = [&](const card& c) {
        return with(with(preset(c), pxe_at(c), pxe), 0, spliced(c, fw, sample_user_record(c.sn)));
    };
    const std::string both = DONE + DONE;
    {
        preset_cards cards;
        expect_run(cards, {{"-q", "-a", "-pxe", pxe_file, "-fw", fw_file}, 0,
                           "get 3 device info\nenp3s0f0 port0\n" + both + "enp4s0f0 port0\n" + both + "enp5s0 port0\n" +
                               both,
                           "r3 w5 r3 w1 r3 w5 r3 w1 r3 w5 r3 w1"});
        for (const card* c : {&CARD4, &CARD2, &CARD1})
            EXPECT_EQ(byte_diff(flash_of(cards, *c), updated(*c)), "") << c->addr;
        // The first card's requests: magic, cmd, partition, req_data_bytes, reply_bytes as little-endian words.
        const std::vector<logged_request> log = read_request_log(cards.state.path());
        ASSERT_EQ(log.size(), 12u);
        const std::string load = "a9a8a7a6000000000300000000000000f4010000";
        EXPECT_EQ(std::vector<std::string>({log[0].hdr, log[1].hdr, log[2].hdr, log[3].hdr}),
                  std::vector<std::string>({load, "a9a8a7a601000000050000000000060000000000", load,
                                            "a9a8a7a601000000010000000011040000000000"}));
        EXPECT_EQ(std::pair(log[1].crc32, log[3].crc32),
                  std::pair(payload_crc32(pxe), payload_crc32(spliced(CARD4, fw, sample_user_record(CARD4.sn)))));
    }
    // The last card's PXE write fails: the first two stay updated, the last as it was.
    preset_cards cards;
    expect_run(cards,
               {{"-q", "-a", "-pxe", pxe_file, "-fw", fw_file}, 255,
                "get 3 device info\nenp3s0f0 port0\n" + both + "enp4s0f0 port0\n" + both + "enp5s0 port0\n" + FAILD +
                    "write PXE to flash failed \n",
                "r3 w5 r3 w1 r3 w5 r3 w1 r3 w5:eio"},
               sim_default_config() + "fault enp5s0 write-eio=1\n");
    for (const card* c : {&CARD4, &CARD2})
        EXPECT_EQ(byte_diff(flash_of(cards, *c), updated(*c)), "") << c->addr;
    EXPECT_EQ(byte_diff(flash_of(cards, CARD1), preset(CARD1)), "");
}

// A device of no known family has the default layout and takes KV9 images; an image
// that ends inside the user area gets as much of the card's record as it holds, so
// the card keeps its MAC table.
TEST(FwUpdate, ChipGroupOfUnknownDevicesAndImagesEndingInTheUserArea) {
    files f;
    // The unknown device's flash: the 4-port card's preset content.
    const card unknown{"0000:07:00.0", 0xCA000, 0x41000, CARD4.sn};
    const std::string unknown_config = "card 0000:07:00.0 device=0x1234 flash=file:" + f("unknown.flash", preset(unknown)) +
                                       "\niface enp7s0 port=0\n";
    struct {
        const card* c;
        std::string position;
        u32 size, group;
        int status;
        std::string out, log;
    } const rows[] = {
        {&unknown, "0", 0x41000, KV9, 0, "enp7s0 port0\n" + DONE, "r3 w1"},
        {&unknown, "0", 0x41000, KV3, 255, "enp7s0 port0\nfw bin is not for KV9 !\n", "r3"},
        {&unknown, "0", 0x4105F, 0, 0, "enp7s0 port0\n" + DONE, "r3 r3 w1"},
        {&CARD4, "0", 0x41001, KV9, 0, "enp3s0f0 port0\n" + DONE, "r3 r3 w1"},
        {&CARD4, "0", 0x4105F, 0, 0, "enp3s0f0 port0\n" + DONE, "r3 r3 w1"},
        {&CARD1, "6", 0x1E05F, KV3, 0, "enp5s0 port0\n" + DONE, "r3 r3 w1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.c->addr << " " << std::hex << r.size << " " << r.group);
        const std::vector<u8> fw = fw_image(r.size, r.group);
        preset_cards cards;
        expect_run(cards, {{"-q", "-i", r.position, "-fw", f("fw.bin", fw)}, r.status, r.out, r.log},
                   r.c == &unknown ? unknown_config : "");
        const std::vector<u8> before = preset(*r.c);
        EXPECT_EQ(byte_diff(flash_of(cards, *r.c),
                            r.status == 0 ? with(before, 0, spliced(*r.c, fw, sample_user_record(r.c->sn))) : before),
                  "");
    }
}

// The production line: an image generated with the card's identity, then written
// whole to a card with -overwrite_all_usr_cfg.
TEST(FwUpdate, GeneratedImageOnACard) {
    files f;
    preset_cards cards;
    const std::vector<u8> fw = fw_image(0x41000, 0, false), pxe = pxe_image(0x2000);
    const std::string out = f.dir / "line.bin";
    // -genbin touches no device, even with -i.
    expect_run(cards, {{"-q", "-genbin", "-i", "0", "-ports", "2", "-fw", f("fw.bin", fw), "-pxe", f("pxe.bin", pxe),
                        "-mac-p0", "02:5a:e1:00:00:10", "-sn", "LINE-0001", "-o", out},
                       0, "port0: 02:5a:e1:00:00:10\nport1: 02:5a:e1:00:00:11\ngen bin: " + out + " 827392 bytes\n", ""});
    record want = reset_user_record();
    put_bytes(want, 0, {0x02, 0x5a, 0xe1, 0, 0, 0x10});
    put_bytes(want, 8, {0x02, 0x5a, 0xe1, 0, 0, 0x11});
    put_text(want, ucfg_at::sn, "LINE-0001");
    const std::vector<u8> image = read_file_bytes(out);
    EXPECT_EQ(byte_diff(image, with(with(with(std::vector<u8>(0xCA000, 0xFF), 0, fw), 0x41000, want), 0x4A000, pxe)), "");

    expect_run(cards, {{"-q", "-i", "0", "-overwrite_all_usr_cfg", "-fw", out}, 0, "enp3s0f0 port0\n" + DONE, "r3 w1"});
    EXPECT_EQ(byte_diff(flash_of(cards, CARD4), image), "");
}

}  // namespace
}  // namespace e2e
