// PCI ids of the supported controllers and the chip groups built from them.
#pragma once

#include "types.h"

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
