#include "crc32_info.h"

#include "../byte_order.h"

u32 calc_crc32(u32 seed, const u8* buf, u32 len) {
    u32 crc = seed;
    for (u32 i = 0; i < len; ++i) {
        crc ^= buf[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ CRC32_POLY_LE : crc >> 1;
    }
    return crc;
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
