// Whole-file readers for sysfs attributes and for the image files the tool
// loads. A sysfs attribute reports its page size (4096) as its file size while
// its text is a few bytes long, so the readers go by the bytes actually read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "../types.h"

// Largest file read whole: a complete flash image is under 1 MiB, so anything
// far beyond it is not a file the tool should hold in memory.
constexpr long long READ_FILE_MAX_SZ = 16LL * 1024 * 1024;

// Every byte of the file, however many reads that takes. None when the file
// cannot be opened or its status taken, when it is not a regular file (a
// FIFO, device or socket: the open never waits for one), when it is larger than
// READ_FILE_MAX_SZ, when a read fails (a down interface's `carrier` refuses
// with EINVAL), or when nothing at all can be read.
std::optional<std::vector<u8>> read_file(const std::string& fname);

// Value returned by the number readers when the file cannot be read; as a
// signed port index it reads -1.
constexpr u32 READ_FILE_FAILED = 0xFFFFFFFF;

// The leading decimal number of the file (white space and a sign allowed
// before it), low 32 bits; READ_FILE_FAILED when the file cannot be read.
u32 read_file_int(const std::string& fname);

// As read_file_int, hexadecimal, with or without "0x".
u32 read_file_hex(const std::string& fname);
