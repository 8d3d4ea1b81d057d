#include "port_count.h"

u32 g_chip_group = 0;

namespace {

constexpr u32 chip_group_of(u16 family_dev) {
    return (u32{ZELVO_VENDOR_ID} << 16) | family_dev;
}

}  // namespace

u32 chip_group_of_device(u16 device_id) {
    switch (device_id) {
    case KV3_1_PORT_DEV:
        return chip_group_of(KV3_1_PORT_DEV);
    case KV9_2_PORT_DEV:  // the 2-port part shares the 4-port part's flash layout
    case KV9_4_PORT_DEV:
        return chip_group_of(KV9_4_PORT_DEV);
    default:
        return 0;
    }
}

int net_pf_max_port_cnt(const eth_dev* dev) {
    if (dev == nullptr)
        return 0;
    switch (dev->ddevice) {
    case KV3_1_PORT_DEV:
        g_chip_group = chip_group_of(KV3_1_PORT_DEV);
        return 1;
    case KV9_2_PORT_DEV:
        // The 2-port part shares the 4-port part's flash layout.
        g_chip_group = chip_group_of(KV9_4_PORT_DEV);
        return 2;
    case KV9_4_PORT_DEV:
        g_chip_group = chip_group_of(KV9_4_PORT_DEV);
        return 4;
    default:
        return 4;
    }
}

int net_card_max_port_cnt(const eth_dev* dev) {
    if (dev == nullptr)
        return 0;
    return net_pf_max_port_cnt(dev);
}
