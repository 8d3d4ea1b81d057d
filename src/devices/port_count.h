// Port count and chip group of a controller, both derived from its PCI
// device id.
#pragma once

#include "../types.h"
#include "eth_dev.h"

// PCI vendor id of every supported controller.
constexpr u16 ZELVO_VENDOR_ID = 0x8848;

// Physical-function device ids of the controller families.
constexpr u16 KV3_1_PORT_DEV = 0x8208;
constexpr u16 KV9_2_PORT_DEV = 0x8318;
constexpr u16 KV9_4_PORT_DEV = 0x8308;

// Chip groups: the vendor id in the upper half, the family's base device id
// in the lower half. An image's boot configuration page names one; the 2-port
// part shares the 4-port part's flash layout and so its group.
constexpr u32 chip_group_of(u16 family_dev) { return (u32{ZELVO_VENDOR_ID} << 16) | family_dev; }
constexpr u32 KV9_CHIP_GROUP = chip_group_of(KV9_4_PORT_DEV);
constexpr u32 KV3_CHIP_GROUP = chip_group_of(KV3_1_PORT_DEV);
static_assert(KV9_CHIP_GROUP == 0x88488308 && KV3_CHIP_GROUP == 0x88488208);

// Ports of a controller by PCI device id: 1, 2 or 4, and 4 for an id not
// known here.
int port_count_of_device(u16 device);

// Chip group of a controller by its PCI device id alone: the KV3 group for
// 0x8208, the KV9 group for 0x8308 and 0x8318, 0 for any other id. Records
// nothing; the firmware update takes each card's group from here.
u32 chip_group_of_device(u16 device);

// Vendor id in the upper half, the family's base device id in the lower half;
// 0 until a known device id has been seen. Image generation picks the flash
// layout from it. One per thread, like the run it belongs to.
extern thread_local u32 g_chip_group;

// Ports of the controller behind `dev`: 1, 2 or 4 by device id, 4 for an id
// not known here; 0 for no device. A known id records its g_chip_group.
int net_pf_max_port_cnt(const eth_dev* dev);

// Ports of the whole card: 0 for no device, else the function's port count.
int net_card_max_port_cnt(const eth_dev* dev);
