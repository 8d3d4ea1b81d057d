// The file-backed road: a flash image file stands in for one card ("fake",
// port 0). Partitions are served from the file in the default layout, writes
// are dropped, and nothing reaches a driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "synthetic_image.h"

namespace e2e {
namespace {

TEST(EepromFile, PipelineRunsOnTheFileWithoutChangingIt) {
    // A whole image in the default layout, with a valid record at 0x41000,
    // the same image cut where the record begins, an empty file; a missing
    // file and a folder.
    temp_dir dir;
    const std::string full = dir.path() + "/full.bin", cut = dir.path() + "/short.bin", empty = dir.path() + "/0.bin";
    const std::string out_file = dir.path() + "/out.bin";
    const std::vector<u8> image = preset_image(CARD4, sample_user_record("EEPROM-SN-01"));
    const std::vector<u8> short_image(image.begin(), image.begin() + 0x41000);
    write_file_bytes(full, image);
    write_file_bytes(cut, short_image);
    write_file_bytes(empty, {});
    const std::string fw = dir.path() + "/fw.bin", pxe = dir.path() + "/pxe.bin";
    zsim::fw_image_params whole;  // long enough to carry the record over
    whole.size = 0xCA000;
    write_file_bytes(fw, zsim::make_fw_image(whole));
    const std::string kv9_fw = dir.path() + "/kv9.bin", kv3_fw = dir.path() + "/kv3.bin";
    zsim::fw_image_params marked;
    marked.chip_group = 0x88488308;
    write_file_bytes(kv9_fw, zsim::make_fw_image(marked));
    marked.chip_group = 0x88488208;
    write_file_bytes(kv3_fw, zsim::make_fw_image(marked));
    write_file_bytes(pxe, std::vector<u8>(0x100, 0x5A));
    const std::string above = "above eeprom size: part:3 in-size:266240\n", faked = "fake port0\n";
    const std::string dumped = "out to: " + out_file + "\n";
    struct {
        std::string file;
        std::vector<std::string> args;
        int status;
        std::string out;  // after the banner
        long dump_at;     // where the dumped bytes lie in the image; -1: no dump file
        long dump_size;
    } const rows[] = {
        {full, {"-dp", "3"}, 0, faked + dumped, 0x41000, 480},
        {full, {"-dp", "1"}, 0, faked + dumped, 0, 0x40000},  // the firmware area only
        // Too short for the record: the load and the dump each say so.
        {cut, {"-dp", "3"}, 0, faked + above + above, -1, 0},
        {cut, {"-dp", "2"}, 0, faked + above + dumped, 0x40000, 0x1000},
        // The record is loaded from 0x41000: storing the serial number it
        // already holds reads back equal, although nothing is written.
        {full, {"-sn", "EEPROM-SN-01"}, 0, faked, -1, 0},
        // A changed record never reads back: three silent writes, then failure.
        {full, {"-sn", "EEPROM-SN-02"}, 255, faked + "flash write faild!\n", -1, 0},
        // The update reads the record for its splice; its writes are dropped too.
        {full, {"-pxe", pxe, "-fw", fw}, 0, faked, -1, 0},
        // The file has the default layout: KV9 images fit it, KV3 images do not.
        {full, {"-fw", kv9_fw}, 0, faked, -1, 0},
        {full, {"-fw", kv3_fw}, 255, faked + "fw bin is not for KV9 !\n", -1, 0},
        // No record to carry over: the update stops rather than write another.
        {cut, {"-pxe", pxe, "-fw", fw}, 255, faked + above + above + "io eeprom error!", -1, 0},
        // This road knows no port count.
        {full, {"-mac-p0", "02:5a:e1:00:00:10", "-ports", "2"}, 255, faked + "ports param is must 1 to 0 \n", -1, 0},
        {empty, {"-dp", "3"}, 255, "read file " + empty + " failed \n", -1, 0},
        {dir.path() + "/missing", {"-sn", "X"}, 255, "read file " + dir.path() + "/missing failed \n", -1, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.file + " " + testing::PrintToString(r.args));
        std::filesystem::remove(out_file);
        // -l is ignored on this road: no device table.
        std::vector<std::string> args = {"-eeprom", r.file, "-l", "-o", out_file};
        args.insert(args.end(), r.args.begin(), r.args.end());
        expect_run(preset_cards(), {args, r.status, r.out, ""});
        EXPECT_TRUE(read_file_bytes(full) == image && read_file_bytes(cut) == short_image) << "files unchanged";

        ASSERT_EQ(std::filesystem::exists(out_file), r.dump_at >= 0);
        if (r.dump_at >= 0) {
            const auto first = image.begin() + r.dump_at;
            EXPECT_TRUE(read_file_bytes(out_file) == std::vector<u8>(first, first + r.dump_size));
        }
    }
}

}  // namespace
}  // namespace e2e
