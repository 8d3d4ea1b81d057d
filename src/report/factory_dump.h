// The factory configuration dump (-dumpcfg): the header, PCI
// settings and the first two PHYs of the net_config stored in PART_CFG,
// printed as stored, without any check of magic, length or checksum.
#pragma once

#include "devices/eth_dev.h"
#include "flash/flash_access.h"

// A failed read prints nothing more than the reader did.
void do_dump_partion1(flash_access& flash, const eth_dev* dev);
