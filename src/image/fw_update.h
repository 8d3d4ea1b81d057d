// The image stage of the per-device pipeline: the PXE image and then the
// firmware image written into one device's flash, the card's own user record
// carried over into the firmware (fw_prepare.h).
#pragma once

#include "devices/eth_dev.h"
#include "flash/flash_access.h"

// The image files of one update and how to write them.
struct image_request {
    const char* pxe_bin = "";
    const char* fw_bin = "";
    bool overwrite_all_usr_cfg = false;
    bool trace3 = false;  // dump the copied record area
};

// For `dev`, in this order, each step only when its path is given
// (image_path_given):
//  - PXE (`pxe_bin`): the whole file, unchanged and unchecked, to IPXE;
//  - firmware (`fw_bin`): prepare_fw_image with `overwrite_all_usr_cfg`;
//    with -vvv the copied record area is dumped ("xx"); the whole image to
//    PART_FW.
// Both files are read again on every call, so each device of -a gets its own
// record. Every failure prints its message and returns failed:
// "canot' read %s\n", "write PXE to flash failed \n", the refusals of
// prepare_fw_image, "write Firmware to flash faile \n". The PXE image is
// written before the firmware is looked at, so a refused firmware leaves it
// written. The pseudo device of -eeprom reads from its file; writes to it
// are accepted and dropped by the channel. A fault of the channel that ends
// the run comes back as it is, without a message of its own.
result update_pxe_and_fw(const image_request& q, flash_access& flash, const eth_dev* dev);

// What update_pxe_and_fw would refuse for `dev` from the files alone, checked
// before any flash is read or written: an unreadable PXE file, a firmware
// file unreadable, too small, for the other chip group or with a wrong
// trailer. Prints that refusal's message and returns failed exactly as the
// update would; otherwise prints nothing.
result check_pxe_and_fw_files(const image_request& q, flash_access& flash, const eth_dev* dev);
