// Moving the user configuration record between a card's flash
// (PART_MAC_ADDR) and memory: load, verified save and erase.
#pragma once

#include "record/cfg.h"
#include "devices/eth_dev.h"
#include "flash/flash_access.h"

// A fault of the channel that ends the run (flash.fault()) stops a load, save
// or erase at once, without a message of its own.

// Attempts of one verified save: write, read back, compare.
constexpr int UCFG_SAVE_ATTEMPTS = 3;

// Loads the record of `dev` into `record`; a stored record without a valid
// magic loads as the defaults (MAC slots kept). Bytes the partition did not
// deliver read as erased flash (0xff). Returns 0, -1 for a missing device or
// record, or the read's negative code after printing "io eeprom error!".
// `trace` is passed on to ucfg_mac_sn_reset.
int load_mac_sn(flash_access& flash, const eth_dev* dev, ucfg_mac_sn* record, bool trace = false);

// Writes `record` and reads it back until both agree, at most
// UCFG_SAVE_ATTEMPTS times. Returns 0, or -1 when no attempt agreed.
int save_mac_sn(flash_access& flash, const eth_dev* dev, const ucfg_mac_sn* record, bool trace = false);

// Erases the stored record (480 bytes of 0xff), read back and compared like a
// save where the flash keeps writes. Returns 0, or -1 when the write fails or
// no attempt left the record erased.
int reset_ucfg_mac_sn(flash_access& flash, const eth_dev* dev);
