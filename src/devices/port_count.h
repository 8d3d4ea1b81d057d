// Port count and chip group of a controller, both derived from its PCI
// device id.
#pragma once

#include "base/chip_ids.h"
#include "base/types.h"
#include "eth_dev.h"

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
extern constinit thread_local u32 g_chip_group;

// Ports of the controller behind `dev`: 1, 2 or 4 by device id, 4 for an id
// not known here; 0 for no device. A known id records its g_chip_group.
int net_pf_max_port_cnt(const eth_dev* dev);

// Ports of the whole card: 0 for no device, else the function's port count.
int net_card_max_port_cnt(const eth_dev* dev);
