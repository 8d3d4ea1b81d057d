// Hands the data of one partition read to the caller: the dump file, when one
// is named, and the caller's buffer. Shared by the live channel and the
// file-backed EEPROM so both roads deliver alike.
#pragma once

#include <span>

#include "base/types.h"

// Copies `data` into `out_buf`, never past its end; then saves it to
// `out_bin_fname` (when given) and prints "out to: %s\n", also when saving
// failed. Returns 0, or -EIO when the file could not be written whole.
int deliver_partion(std::span<const u8> data, const char* out_bin_fname, std::span<u8> out_buf);
