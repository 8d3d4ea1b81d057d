// The optional integrity trailer of a firmware image: two little-endian words
// at the end of the image's first 512-byte block, a magic and the checksum of
// the whole image computed with both words taken as zero.
#pragma once

#include "base/types.h"

constexpr int CRC_OFFSET = 504;  // magic; the checksum follows at 508
constexpr u32 CRC32_MAGIC = 0x43524332;  // "2CRC" in file order
constexpr u32 CRC32_POLY_LE = 0xEDB88320;
constexpr u32 CRC32_SEED_INIT = 0xFFFFFFFF;
// Smallest image with room for the trailer; shorter images have none.
constexpr int CRC_MIN_IMAGE_SZ = CRC_OFFSET + 8;

// Reflected CRC-32 folded into `seed`, without a final inversion, so a
// result can seed the next piece. From CRC32_SEED_INIT this is CRC-32/JAMCRC,
// the complement of the common CRC-32; computed with zlib's table-driven
// crc32 (the bitwise form is kept as the reference in the unit tests).
u32 calc_crc32(u32 seed, const u8* buf, u32 len);

// 1: no trailer (buffer untouched); 0: trailer correct; -1: trailer wrong.
// For 0 and -1 both trailer words are left zero in the buffer.
int check_crc(u8* buf, int len);

// Stamps the trailer over `len` bytes as they stand; the trailer words are
// expected to be zero already (as check_crc leaves them). Does nothing to an
// image too short to hold a trailer.
void add_crc(u8* buf, int len);
