// What the shows and the dumps share of the user record: reading it for a
// report, the stored-text length rule and the MAC address lines.
#pragma once

#include "record/cfg.h"
#include "devices/eth_dev.h"
#include "flash/flash_access.h"

// Loads the record of `dev` as stored now (load_mac_sn). A failed load leaves
// the record zeroed, so its magic 0 reports it as invalid.
ucfg_mac_sn load_report_record(flash_access& flash, const eth_dev* dev);

// Length of a stored text: its leading bytes below 0x80, at most `size`.
// A zero byte does not end the count.
int pn_sn_dlen(const u8* text, int size);

// One line per port 0..ports-1: "<i> xx:xx:xx:xx:xx:xx".
void print_mac_lines(const ucfg_mac_sn& record, int ports);
