// The only way the tool reaches a card's flash: one partition read or write.
// The live channel implements it over the maintain file, the file-backed
// EEPROM over an image in memory; tests hand in fakes.
#pragma once

#include <span>

#include "../devices/eth_dev.h"
#include "base/types.h"

class flash_access {
public:
    virtual ~flash_access() = default;

    // Reads partition `partion` (1..PART_MAX) of `dev`. When `out_bin_fname`
    // is given the data is saved to that file; when `out_buf` is not empty the
    // data is copied into it (never more than it holds). Returns the number of
    // data bytes, or a negative error number.
    virtual int read_flash_partion(const eth_dev* dev, int partion, const char* out_bin_fname,
                                   std::span<u8> out_buf) = 0;

    // Replaces the content of partition `partion` of `dev` with `data`.
    // Returns 0, or a negative error number.
    virtual int write_flash_partion(const eth_dev* dev, int partion, std::span<const u8> data) = 0;

    // Whether a later read shows what a write stored. False for a flash image
    // file, whose writes are accepted and dropped, so checking them is moot.
    virtual bool keeps_writes() const { return true; }
};
