#include "flash/file_eeprom.h"

#include "maintain/maintain.h"
#include "test_support.h"

namespace {

using namespace test_support;
constexpr u8 UNTOUCHED = 0xee;

TEST(FileEeprom, ServesThePartitionMap) {
    const struct { int image_sz, partion, offset, want, status; std::string out; } cases[] = {
        {0xca000, PART_FW, 0x0, 0x40000, 0, ""},    {0xca000, PART_CFG, 0x40000, 0x1000, 0, ""},
        {0xca000, PART_MAC_ADDR, 0x41000, 480, 0, ""}, {0xca000, PCSPHY, 0x42000, 0x8000, 0, ""},
        {0xca000, IPXE, 0x4a000, 0x80000, 0, ""},   {0x41000, PART_CFG, 0x40000, 0x1000, 0, ""},
        {0x41000, PART_MAC_ADDR, 0, 0, 0, "above eeprom size: part:3 in-size:266240\n"},
        {0xc9fff, IPXE, 0, 0, 0, "above eeprom size: part:5 in-size:827391\n"},
        {0xca000, 6, 0, -1, -1, "invalid partion: 6 \n"}, {0xca000, 9, 0, -1, -1, "invalid partion: 9 \n"},
        {0xca000, VERSION_INFO, 0, -1, -1, "invalid partion: 10 \n"},
        {0xca000, PART_MAX, 0, -1, -1, "invalid partion: 11 \n"},
    };
    for (const auto& c : cases) {
        const bytes img = patterned(c.image_sz);
        bytes buf(0x80000 + 64, UNTOUCHED);
        const outcome o = run([&] { return read_fake_file_eeprom_partion(img, c.partion, nullptr, buf); });
        EXPECT_EQ(std::tuple(o.result, o.status, o.output), std::tuple(c.want, c.status, c.out)) << c.partion;
        bytes want(img.begin() + c.offset, img.begin() + c.offset + std::max(c.want, 0));
        want.resize(buf.size(), UNTOUCHED);
        EXPECT_EQ(buf, want) << "partition " << c.partion << " of " << c.image_sz;
    }
}

}  // namespace
