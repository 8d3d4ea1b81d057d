// The bytes a firmware update writes to a card's PART_FW, computed without
// writing anything: the firmware file, checked against the card's chip group
// and its CRC trailer, with the card's own 480-byte user record spliced in
// and the trailer stamped again. Shared by the tool's update stage and by
// other front ends (dry runs, verification, skipping an identical image).
#pragma once

#include <string>
#include <vector>

#include "devices/eth_dev.h"
#include "flash/flash_access.h"
#include "base/types.h"
#include "image_layout.h"

// What check_crc found in the file.
enum class fw_trailer {
    none,     // no trailer: the image is written without one
    renewed,  // a correct trailer, stamped again over the bytes as written
};

// Why no image could be prepared; the first check that fails decides.
enum class fw_refusal {
    none,
    unreadable,         // "canot' read PATH\n": missing, empty, unreadable, no memory
    too_small,          // "fw bin too small: PATH\n": shorter than the boot page (64 bytes)
    wrong_chip_group,   // "fw bin is not for KV3 !\n" or "fw bin is not for KV9 !\n"
    bad_trailer,        // "file crc error\n": a trailer whose checksum is wrong
    record_unreadable,  // "io eeprom error!" (no newline): the card's record read failed
};

struct fw_image {
    fw_refusal refusal = fw_refusal::none;
    std::string message;    // for a refusal: the tool's message, exactly as it prints it
    std::vector<u8> bytes;  // without a refusal: the image for PART_FW, the file's length
    fw_trailer trailer = fw_trailer::none;
    record_splice splice;   // where the card's record was copied; length 0: nothing copied
    bool ok() const { return refusal == fw_refusal::none; }
};

// Prepares the firmware file at `path` for `dev` (flash is only read):
//  1. reads the whole file (unreadable) and requires the 64-byte boot page
//     (too_small);
//  2. compares the image's chip-group word (offset 60) with the group of
//     `dev`'s own device id: 0 fits every card, the KV9 word is refused on a
//     KV3 card and the KV3 word on a KV9 card or a device without a group
//     (wrong_chip_group);
//  3. check_crc: a wrong trailer is refused (bad_trailer); a correct one is
//     cleared for restamping; an image shorter than 512 bytes has none;
//  4. unless `overwrite_all_usr_cfg`, when the image reaches into the
//     user area of the card's layout (0x41000 default, 0x1E000 KV3),
//     reads PART_MAC_ADDR once and copies the record raw over the image
//     there, cut to what the image holds; a read that fails or delivers
//     fewer than 480 bytes is refused (record_unreadable), so a card's
//     record is never replaced by bytes it did not hold;
//  5. restamps the trailer over the final bytes when step 3 found one.
// With `overwrite_all_usr_cfg` a file with a correct trailer comes back byte
// for byte. Prints nothing; flash reads may print their own traces.
fw_image prepare_fw_image(flash_access& flash, const eth_dev* dev, const char* path, bool overwrite_all_usr_cfg);

// Steps 1-5 on a file already read: `file` becomes the image.
fw_image prepare_fw_bytes(std::vector<u8> file, const char* path, flash_access& flash, const eth_dev* dev,
                          bool overwrite_all_usr_cfg);
