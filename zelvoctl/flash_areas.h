// The areas of a card's flash (firmware, factory, user, PCS/PHY or trim,
// PXE) and how much of each a partition read delivers: the user area only
// its 480-byte record, the PCS/PHY area only its first 4 KiB. Bytes no read
// reaches can neither be compared nor held by a backup.
#pragma once

#include <string>
#include <vector>

#include "devices/eth_dev.h"
#include "flash/flash_access.h"
#include "record_decode.h"

struct flash_area_reach {
    const char* name;    // "firmware", "factory", "user", "pcsphy" or "trim", "pxe"
    u32 off, size;       // in the card's flash
    int partition;       // the read that delivers it
    u32 partition_off;   // where the area starts in that partition's data
    u32 delivered;       // how many of its bytes that read delivers
};

// The areas of `dev`'s flash layout, in flash order.
std::vector<flash_area_reach> flash_areas_of(const eth_dev& dev);

// How the card compares with `bytes` written at flash offset `at`, area by area.
struct area_comparison {
    const char* area;
    std::size_t bytes = 0;       // of the area that `bytes` covers
    std::size_t compared = 0;    // of those, read back and compared
    std::size_t differing = 0;   // of those compared, not equal
    std::size_t first_difference = 0;  // flash offset, when differing
    std::size_t unreadable() const { return bytes - compared; }
};
std::vector<area_comparison> compare_areas(flash_access& flash, const eth_dev& dev, u32 at, const std::vector<u8>& bytes);

// The areas' bytes no read reaches, as JSON: [{area, offset, bytes}].
json unreadable_json(const eth_dev& dev);
