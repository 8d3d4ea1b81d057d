// The shows: single items of the user record stored on a device,
// in short lines for scripts. Each reads the flash afresh.
#pragma once

#include "devices/eth_dev.h"
#include "flash/flash_access.h"

// "sn: <text>" when `show_sn`, then "pn: <text>" when `show_pn`. An invalid
// record prints "invalid ucfg-mac-sn magic:0x<magic>" and returns failed; a
// channel fault that ends the run comes back as it is.
result do_show_sn_pn(flash_access& flash, const eth_dev* dev, bool show_sn, bool show_pn);

// "pName: <text>" when `show_pName`; an invalid record or a fault as above.
result do_show_pName(flash_access& flash, const eth_dev* dev, bool show_pName);

// One address line per port of the card when `show_mac`. 0; -1 for an invalid
// record (after the same message), without ending the process.
int do_show_mac(flash_access& flash, const eth_dev* dev, bool show_mac);
