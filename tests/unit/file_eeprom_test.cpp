#include "flash/file_eeprom.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "exit_request.h"
#include "maintain.h"

namespace {

using bytes = std::vector<u8>;
constexpr u8 UNTOUCHED = 0xee;

// Each byte differs from its neighbours and from the same offset one 4 KiB
// page away, so a misplaced window shows.
bytes numbered_image(int size) {
    bytes img(size);
    for (int i = 0; i < size; ++i)
        img[i] = static_cast<u8>(i + (i >> 12) * 7);
    return img;
}

TEST(FileEeprom, ServesThePartitionMap) {
    const struct {
        int image_sz, partion, offset, want;
        const char* out;
    } cases[] = {
        {0xca000, PART_FW, 0x0, 0x40000, ""},
        {0xca000, PART_CFG, 0x40000, 0x1000, ""},
        {0xca000, PART_MAC_ADDR, 0x41000, 480, ""},
        {0xca000, PCSPHY, 0x42000, 0x8000, ""},
        {0xca000, IPXE, 0x4a000, 0x80000, ""},
        {0x41000, PART_FW, 0x0, 0x40000, ""},
        {0x41000, PART_CFG, 0x40000, 0x1000, ""},
        {0x41000, PART_MAC_ADDR, 0, 0, "above eeprom size: part:3 in-size:266240\n"},
        {0xc9fff, IPXE, 0, 0, "above eeprom size: part:5 in-size:827391\n"},
    };
    for (const auto& c : cases) {
        const bytes img = numbered_image(c.image_sz);
        bytes buf(0x80000 + 64, UNTOUCHED);
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_fake_file_eeprom_partion(img, c.partion, nullptr, buf), c.want) << c.partion;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.partion;
        bytes want(img.begin() + c.offset, img.begin() + c.offset + c.want);
        want.resize(buf.size(), UNTOUCHED);
        EXPECT_EQ(buf, want) << "partition " << c.partion << " of " << c.image_sz;
    }
}

TEST(FileEeprom, UnmappedPartitionEndsTheProcess) {
    const bytes img = numbered_image(0xca000);
    for (const int partion : {6, 9, 10, 11}) {
        bytes buf(4096);
        testing::internal::CaptureStdout();
        int status = 0;
        try {
            read_fake_file_eeprom_partion(img, partion, nullptr, buf);
        } catch (const exit_request& e) {
            status = e.status;
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "invalid partion: " + std::to_string(partion) + " \n");
        EXPECT_EQ(status, -1) << partion;
    }
}

TEST(FileEeprom, DumpsToTheOutputFileAndStaysInsideTheBuffer) {
    std::string dir = testing::TempDir() + "kv7_eeprom_XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string out = dir + "/part3.bin";
    const bytes img = numbered_image(0xca000);
    const bytes record(img.begin() + 0x41000, img.begin() + 0x41000 + 480);
    bytes backing(200, UNTOUCHED);
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_fake_file_eeprom_partion(img, PART_MAC_ADDR, out.c_str(), std::span(backing).first(100)), 480);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "out to: " + out + "\n");
    std::ifstream in(out, std::ios::binary);
    EXPECT_EQ(bytes(std::istreambuf_iterator<char>(in), {}), record);
    bytes want(record.begin(), record.begin() + 100);
    want.resize(200, UNTOUCHED);
    EXPECT_EQ(backing, want);
    std::filesystem::remove_all(dir);
}

}  // namespace
