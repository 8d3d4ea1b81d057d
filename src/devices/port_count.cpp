#include "port_count.h"

constinit thread_local u32 g_chip_group = 0;

int port_count_of_device(u16 device) {
    switch (device) {
    case KV3_1_PORT_DEV:
        return 1;
    case KV9_2_PORT_DEV:
        return 2;
    default:
        return 4;
    }
}

u32 chip_group_of_device(u16 device) {
    switch (device) {
    case KV3_1_PORT_DEV:
        return KV3_CHIP_GROUP;
    case KV9_2_PORT_DEV:
    case KV9_4_PORT_DEV:
        return KV9_CHIP_GROUP;
    default:
        return 0;
    }
}

int net_pf_max_port_cnt(const eth_dev* dev) {
    if (dev == nullptr)
        return 0;
    // An unknown id leaves the group of the last known one.
    if (const u32 group = chip_group_of_device(dev->ddevice))
        g_chip_group = group;
    return port_count_of_device(dev->ddevice);
}

int net_card_max_port_cnt(const eth_dev* dev) {
    if (dev == nullptr)
        return 0;
    return net_pf_max_port_cnt(dev);
}
