// The dumps of the user record stored on a device, as tables
// (-dump0), and one table each for SI, LLDP, Wake-on-LAN, force state and
// pack id. Each reads the flash afresh; per-port tables have one row per
// port of the card. An invalid record returns failed after "invalid ma-sn
// part" (full dump) or "invalid user cfg part" (the others) and "magic:
// %08x", without a newline; a channel fault that ends the run comes back as
// it is.
#pragma once

#include "devices/eth_dev.h"
#include "flash/flash_access.h"

result do_dump_ucfg_mac_sn(flash_access& flash, const eth_dev* dev);
result do_dump_ucfg_si(flash_access& flash, const eth_dev* dev);
result do_dump_ucfg_lldp(flash_access& flash, const eth_dev* dev);
result do_dump_ucfg_wol(flash_access& flash, const eth_dev* dev);
result do_dump_ucfg_force_state(flash_access& flash, const eth_dev* dev);
result do_dump_ucfg_pack_id(flash_access& flash, const eth_dev* dev);
