// File reading and writing for every layer: the whole-file reader (sysfs
// attributes and image files), descriptor read and write loops, the
// whole-file writer used for partition dumps, and the one format of system
// error reports. A sysfs attribute reports its page size (4096) as its file
// size while its text is a few bytes long, so the reader goes by the bytes
// actually read.
#pragma once

#include <cerrno>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "types.h"

// Largest single read request of read_file_full, in bytes, as the tool makes
// them. A front end that reads whole partitions often may ask for more.
constexpr int READ_CHUNK_SZ = 4096;

// Prints "<prefix>: <description of err>\n" on standard error. Callers that
// print something first pass the errno they saved before printing.
void sys_error_report(const char* prefix, int err = errno);

// Reads up to `bflen` bytes, at most `chunk` per request, stopping early at
// end of data. Returns the byte count, or -EIO on a read error.
int read_file_full(int fd, u8* buf, int bflen, int chunk = READ_CHUNK_SZ);

// Writes all `len` bytes, going on after partial writes. Returns `len`, or
// -EIO on a write error.
int write_file_full(int fd, const u8* buf, int len);

// Creates or truncates `fname` (mode 0644 before the umask) and writes `buf`
// into it. Returns the byte count, or -EIO.
int write_to_file(std::span<const u8> buf, const char* fname);

// Largest file read whole: a complete flash image is under 1 MiB, so anything
// far beyond it is not a file the tool should hold in memory.
constexpr long long READ_FILE_MAX_SZ = 16LL * 1024 * 1024;

// Every byte of the file, however many reads that takes. None when the file
// cannot be opened or its status taken, when it is not a regular file (a
// FIFO, device or socket: the open never waits for one), when it is larger than
// READ_FILE_MAX_SZ, when a read fails (a down interface's `carrier` refuses
// with EINVAL), or when nothing at all can be read.
std::optional<std::vector<u8>> read_file(const std::string& fname);
