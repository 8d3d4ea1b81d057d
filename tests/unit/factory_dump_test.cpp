#include "report/factory_dump.h"

#include "base/byte_order.h"
#include "report_flash.h"

namespace {

using namespace test_support;

TEST(FactoryDump, FieldsAtTheirOffsetsAndEachFlagUnderItsLabel) {
    const char* const labels[16] = {"novf", "no-bar0", "no-bar2", "nobar4", "novfbar0", "novfbar2", "novfbar4", "pxe",
                                    "pxe-efi", "pci-disable", "", "none-pretchable", "rpu", "  kv6", "fastlink",
                                    "enable_8MB"};  // bit 10 (split pf) is not shown
    for (int bit = 0; bit < 16; ++bit) {
        report_flash k;
        bytes b(4096, 0);
        for (auto [at, v] : {std::pair{14, 1u << bit}, {12, 0x0804}, {16, 0x8308}, {18, 0x8309}, {20, 0x1234},
                             {22, 0x8848}, {24, 0xab}, {26, 0xfff7}, {32, 0x0f}, {48, 1}, {54, 4}, {376 + 22, 9}})
            put_le16(b.data() + at, static_cast<u16>(v));
        for (auto [at, v] : {std::pair{0, 0x10cf9u}, {4, 0xdeadbeef}, {8, 0x00060594}, {28, 25000}, {36, 0x1d1d},
                             {44, 0xc0c}, {376, 10000}, {724, 40000}})
            put_le32(b.data() + at, v);
        k.parts[PART_CFG] = b;
        const std::string out = run([&] { do_dump_partion1(k, &k.dev); }).output;
        std::string want = "magic:0x00010cf9 csum:0xdeadbeef len:1428 version:00000006\n\n"
                           "pci: gen8x4  pf0:8308 pf1:8309 subsys:8848:1234 pci-disable-\n     uid:00ab preset:7\n"
                           "     no-bar0- no-bar2- nobar4- novf- novfbar0- novfbar2- novfbar4-\n"
                           "     rpu- pxe- pxe-efi- none-pretchable-  kv6- fastlink- enable_8MB-\n"
                           "phy0\n    speed:25000 lane_mask:f main:00001d1d pre:00000000 post:00000c0c "
                           "boost:0001-0000-0000-0004\n"
                           "phy1\n    speed:10000 lane_mask:0 main:00000000 pre:00000000 post:00000000 "
                           "boost:0000-0009-0000-0000\n";
        if (*labels[bit])
            want[want.find(std::string(labels[bit]) + "-") + std::strlen(labels[bit])] = '+';
        EXPECT_EQ(out, want) << "flag bit " << bit;
    }
}

}  // namespace
