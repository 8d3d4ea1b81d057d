// Number readers for sysfs attributes, on the whole-file reader of
// base/file_io.h.
#pragma once

#include <string>

#include "base/file_io.h"
#include "base/types.h"

// Value returned by the number readers when the file cannot be read; as a
// signed port index it reads -1.
constexpr u32 READ_FILE_FAILED = 0xFFFFFFFF;

// The leading decimal number of the file (white space and a sign allowed
// before it), low 32 bits; READ_FILE_FAILED when the file cannot be read.
u32 read_file_int(const std::string& fname);

// As read_file_int, hexadecimal, with or without "0x".
u32 read_file_hex(const std::string& fname);
