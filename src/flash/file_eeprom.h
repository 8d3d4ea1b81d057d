// A flash image file standing in for a card: partition reads are served from
// the image in memory, in the default flash layout.
#pragma once

#include <optional>
#include <span>

#include "../types.h"

// Where a partition lies in the image, in bytes. Sizes are those of the
// flash areas, which for PART_FW and PCSPHY differ from the live reply limits.
struct eeprom_partion {
    int partion;
    int offset;
    int size;
};

// The map entry of `partion`; none for partitions the image does not hold.
std::optional<eeprom_partion> find_eeprom_partion(int partion);

// Serves partition `partion` of `image` like a live read. Returns the
// partition's size, or 0 (with "above eeprom size: ...") when the image ends
// before the partition does. A partition without a map entry prints
// "invalid partion: %d \n" and ends the process (status -1).
int read_fake_file_eeprom_partion(std::span<const u8> image, int partion, const char* out_bin_fname,
                                  std::span<u8> out_buf);
