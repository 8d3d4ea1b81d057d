#include "devices/port_count.h"

#include "test_support.h"

namespace {

TEST(PortCountTest, PortsAndChipGroupByDeviceId) {
    constexpr u32 BEFORE = 0x5a5a5a5a;  // shows whether the group was touched
    const struct { bool present; u16 ddevice; int ports; u32 group_after; } cases[] = {
        {true, 0x8208, 1, 0x88488208}, {true, 0x8318, 2, 0x88488308}, {true, 0x8308, 4, 0x88488308},
        {true, 0x1234, 4, BEFORE},     {true, 0x8309, 4, BEFORE},     {false, 0x8208, 0, BEFORE},
    };
    for (const auto& c : cases) {
        eth_dev dev;
        dev.ddevice = c.ddevice;
        for (auto count : {net_pf_max_port_cnt, net_card_max_port_cnt}) {
            g_chip_group = BEFORE;
            EXPECT_EQ(count(c.present ? &dev : nullptr), c.ports) << std::hex << c.ddevice;
            EXPECT_EQ(g_chip_group, c.group_after) << std::hex << c.ddevice;
        }
    }
    g_chip_group = 0;
}

}  // namespace
