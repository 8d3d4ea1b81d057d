// The image stage of the per-device pipeline: the PXE image and then the
// firmware image written into one device's flash, the card's own user record
// carried over into the firmware (fw_prepare.h).
#pragma once

#include "../devices/eth_dev.h"
#include "../flash/flash_access.h"
#include "cli/settings.h"

// For `dev`, in this order, each step only when its path is given
// (image_path_given):
//  - PXE (`pxe_bin`): the whole file, unchanged and unchecked, to IPXE;
//  - firmware (`fw_bin`): prepare_fw_image with `overwrite_all_usr_cfg`;
//    with -vvv the copied record area is dumped ("xx"); the whole image to
//    PART_FW.
// Both files are read again on every call, so each device of -a gets its own
// record. Every failure prints its message and ends the process (status -1):
// "canot' read %s\n", "write PXE to flash failed \n", the refusals of
// prepare_fw_image, "write Firmware to flash faile \n". The PXE image is
// written before the firmware is looked at, so a refused firmware leaves it
// written. The pseudo device of -eeprom reads from its file; writes to it
// are accepted and dropped by the channel.
void update_pxe_and_fw(const settings& s, flash_access& flash, const eth_dev* dev);
