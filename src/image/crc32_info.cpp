#include "crc32_info.h"

#include <zlib.h>

#include "base/byte_order.h"

u32 calc_crc32(u32 seed, const u8* buf, u32 len) {
    // zlib's crc32 inverts the register on the way in and out; inverting
    // seed and result leaves the plain register this function promises.
    // zlib answers 0 for a null buffer whatever the seed, so an empty range
    // is handled here.
    if (len == 0)
        return seed;
    return ~static_cast<u32>(::crc32_z(~seed, buf, len));
}

int check_crc(u8* buf, int len) {
    if (len < CRC_MIN_IMAGE_SZ || get_le32(buf + CRC_OFFSET) != CRC32_MAGIC)
        return 1;
    const u32 expected = get_le32(buf + CRC_OFFSET + 4);
    put_le32(buf + CRC_OFFSET, 0);
    put_le32(buf + CRC_OFFSET + 4, 0);
    return calc_crc32(CRC32_SEED_INIT, buf, static_cast<u32>(len)) == expected ? 0 : -1;
}

void add_crc(u8* buf, int len) {
    if (len < CRC_MIN_IMAGE_SZ)
        return;
    put_le32(buf + CRC_OFFSET + 4, calc_crc32(CRC32_SEED_INIT, buf, static_cast<u32>(len)));
    put_le32(buf + CRC_OFFSET, CRC32_MAGIC);
}
