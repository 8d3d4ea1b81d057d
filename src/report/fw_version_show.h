// The firmware and PXE versions (-fw-version), from the version
// record a device answers for VERSION_INFO.
#pragma once

#include "record/cfg.h"
#include "devices/eth_dev.h"
#include "flash/flash_access.h"

// Reads the record into `version` (at most its 20 bytes, whatever the reply
// carries). 0 when at least 20 bytes came and the magic is FW_VERSION_MAGIC;
// -1 otherwise.
int get_fw_version(flash_access& flash, const eth_dev* dev, fw_version* version);

// " FW\t: a.b.c.d" (most significant byte first) and " PXE\t: a.b.c" (least
// significant first), or " show fw version not supported!". Ends the run only
// where the read itself does (the file-backed road has no VERSION_INFO).
void show_fw_version(flash_access& flash, const eth_dev* dev);
