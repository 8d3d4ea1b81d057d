// The file-backed road: a flash image file stands in for one card ("fake",
// port 0). Partitions are served from the file in the default layout, writes
// are dropped, and nothing reaches a driver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "sim_harness.h"

namespace e2e {
namespace {

constexpr std::size_t FULL_SZ = 0xCA000;
constexpr std::size_t FW_AND_CFG_SZ = 0x41000;  // ends where the user record begins
constexpr char ABOVE_MAC_ADDR[] = "above eeprom size: part:3 in-size:266240\n";

// Image files in one folder: a whole image with a valid record at 0x41000,
// and the same image cut after the factory configuration.
struct image_files {
    temp_dir dir;
    std::vector<u8> record = sample_user_record("EEPROM-SN-01");
    std::vector<u8> full = patterned_image(FULL_SZ, 0x41000, record);
    std::vector<u8> short_image{full.begin(), full.begin() + FW_AND_CFG_SZ};
    std::string full_path = dir.path() + "/full.bin";
    std::string short_path = dir.path() + "/short.bin";
    std::string out_path = dir.path() + "/out.bin";
    image_files() {
        write_file_bytes(full_path, full);
        write_file_bytes(short_path, short_image);
    }
};

std::string repeat(const std::string& text, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += text;
    return s;
}

TEST(EepromFile, PartitionDumpsComeFromTheFile) {
    image_files files;
    struct row {
        bool short_image;
        int part;
        int status;
        std::string out;      // after "fake port0"; OUT stands for the output file
        long dump_offset;     // where the dumped bytes lie in the image; -1: no dump file
        long dump_size;
    } const rows[] = {
        {false, 3, 0, "out to: OUT\n", 0x41000, 480},
        {false, 2, 0, "out to: OUT\n", 0x40000, 0x1000},
        {false, 1, 0, "out to: OUT\n", 0, 0x40000},  // the firmware area only
        {false, 4, 0, "out to: OUT\n", 0x42000, 0x8000},
        {false, 5, 0, "out to: OUT\n", 0x4A000, 0x80000},
        {false, 10, 255, "invalid partion: 10 \n", -1, 0},
        {false, 6, 255, "invalid partion: 6 \n", -1, 0},
        {false, 12, 255, "read flash dump_para failed \n", -1, 0},
        // Too short for the record: the load and the dump each say so.
        {true, 3, 0, repeat(ABOVE_MAC_ADDR, 2), -1, 0},
        {true, 2, 0, std::string(ABOVE_MAC_ADDR) + "out to: OUT\n", 0x40000, 0x1000},
    };
    for (const row& r : rows) {
        SCOPED_TRACE((r.short_image ? "short image, -dp " : "-dp ") + std::to_string(r.part));
        std::remove(files.out_path.c_str());
        // -l is ignored on this road: no device table.
        const sim_run run = run_tool({"-eeprom", r.short_image ? files.short_path : files.full_path, "-l", "-dp",
                                      std::to_string(r.part), "-o", files.out_path});
        EXPECT_EQ(run.status, r.status) << run.err;
        std::string out = r.out;
        if (const auto at = out.find("OUT"); at != std::string::npos)
            out.replace(at, 3, files.out_path);
        EXPECT_EQ(strip_banner(run.out), "fake port0\n" + out);
        EXPECT_TRUE(read_request_log(run.state_dir).empty());

        ASSERT_EQ(file_exists(files.out_path), r.dump_offset >= 0);
        if (r.dump_offset < 0)
            continue;
        const std::vector<u8>& image = r.short_image ? files.short_image : files.full;
        const auto first = image.begin() + r.dump_offset;
        EXPECT_TRUE(read_file_bytes(files.out_path) == std::vector<u8>(first, first + r.dump_size));
    }
}

TEST(EepromFile, PipelineRunsOnTheFileWithoutChangingIt) {
    image_files files;
    const std::string failed_save = "flash write faild!\n";
    struct row {
        const char* name;
        bool short_image;
        std::vector<std::string> args;
        int status;
        std::string out;  // after "fake port0"
    } const rows[] = {
        // The record is loaded from 0x41000: storing the serial number it
        // already holds reads back equal, although nothing is written.
        {"same serial number", false, {"-sn", "EEPROM-SN-01"}, 0, ""},
        // A changed record never reads back: three silent writes, then failure.
        {"new serial number", false, {"-sn", "EEPROM-SN-02"}, 255, failed_save},
        // No record in the file: the defaults are loaded, and they read back
        // the same, with the empty serial number they already hold.
        {"short, empty serial number", true, {"-sn", ""}, 0, repeat(ABOVE_MAC_ADDR, 2)},
        {"short, new serial number", true, {"-sn", "EEPROM-SN-02"}, 255, repeat(ABOVE_MAC_ADDR, 4) + failed_save},
        // The file-backed road has no port count.
        {"port-0 address batch", false, {"-mac-p0", "02:5a:e1:00:00:10", "-ports", "2"}, 255,
         "ports param is must 1 to 0 \n"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<std::string> args = {"-q", "-eeprom", r.short_image ? files.short_path : files.full_path};
        args.insert(args.end(), r.args.begin(), r.args.end());
        const sim_run run = run_tool(args);
        EXPECT_EQ(run.status, r.status) << run.err;
        EXPECT_EQ(run.out, "fake port0\n" + r.out);
        EXPECT_TRUE(read_request_log(run.state_dir).empty());
        EXPECT_TRUE(read_file_bytes(files.full_path) == files.full);
        EXPECT_TRUE(read_file_bytes(files.short_path) == files.short_image);
    }
}

TEST(EepromFile, FileThatCannotBeRead) {
    temp_dir dir;
    const std::string empty = dir.path() + "/empty.bin";
    write_file_bytes(empty, {});
    const std::string missing = dir.path() + "/missing.bin";
    for (const std::string& path : {missing, empty, dir.path()}) {
        SCOPED_TRACE(path);
        const sim_run run = run_tool({"-q", "-eeprom", path, "-dp", "3"});
        EXPECT_EQ(run.status, 255) << run.err;
        EXPECT_EQ(run.out, "read file " + path + " failed \n");
        EXPECT_TRUE(read_request_log(run.state_dir).empty());
    }
}

}  // namespace
}  // namespace e2e
