// Where the records of a flash image lie for a chip group, whether an image
// is meant for a chip group, and where a card's user record is spliced into
// a firmware image. Pure functions over bytes: no I/O, no messages printed.
#pragma once

#include <span>

#include "base/types.h"
#include "base/flash_layout.h"

// Size of the boot configuration page; an image shorter than this has no
// chip-group word.
constexpr int BOOT_PAGE_SZ = 64;
constexpr int CHIP_GROUP_WORD_OFF = 60;  // config_page_st.reserved1

// The chip-group word of an image (little-endian at offset 60); 0 for an
// image shorter than the boot configuration page.
u32 image_chip_group(std::span<const u8> image);

// The chip-group check of image generation: nullptr when an image whose word is `image_group` fits
// `chip_group`, otherwise the refusal text without newline. Equal groups fit;
// for KV9 a word of 0 fits too; anything else gives "fw bin is not for KV9 !"
// under the KV9 group and "fw bin is not for KV3 !" under any other group.
const char* chip_group_refusal(u32 chip_group, u32 image_group);

// The firmware update's rule for a card of group `card_group`: a word of 0
// fits every card; any other word goes by chip_group_refusal, a device
// without a group (0: the -eeprom device, unknown device ids) taking the
// KV9 rule of the default layout it has.
const char* card_chip_group_refusal(u32 card_group, u32 image_group);

// Where a card's 480-byte user record goes in a firmware image of
// `image_len` bytes: at the layout's user offset, when the image reaches at
// least one byte into the user area (longer than 0x41000 bytes in the
// default layout, 0x1E000 in KV3), so that an image never carries bytes of
// its own over the card's MAC table; `length` is then the part of the record
// that fits, at most 480, so the image never grows. `length` 0: no splice.
struct record_splice {
    int offset = 0;
    int length = 0;
    bool operator==(const record_splice&) const = default;
};
record_splice user_record_splice(const flash_layout& layout, int image_len);
