#include "image/crc32_info.h"

#include "base/byte_order.h"
#include "crc32_reference.h"
#include "test_support.h"

namespace {

using test_support::bytes;

// An image with both trailer words zero, as add_crc expects it.
bytes sample_image(std::size_t len) {
    bytes img = test_support::patterned(len);
    std::fill_n(img.begin() + CRC_OFFSET, std::min<std::size_t>(8, len - CRC_OFFSET), 0);
    return img;
}

TEST(Crc32Info, AgreesWithTheBitwiseReference) {
    // The register is not inverted at the end: the common CRC-32 check value is 0xCBF43926.
    EXPECT_EQ(calc_crc32(CRC32_SEED_INIT, reinterpret_cast<const u8*>("123456789"), 9), 0x340BC6D9u);
    const bytes img = test_support::patterned(0xCA000);
    const struct { u32 seed; std::size_t off, len; } rows[] = {
        {CRC32_SEED_INIT, 0, 0xCA000}, {CRC32_SEED_INIT, 3, 7}, {0x12345678, 1, 511}, {0xDEADBEEF, 5, 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(calc_crc32(r.seed, img.data() + r.off, static_cast<u32>(r.len)),
                  test_support::bitwise_crc32(r.seed, img.data() + r.off, r.len))
            << std::hex << r.seed << " " << r.off << "+" << r.len;
}

TEST(Crc32Info, StampAndCheckUndoEachOther) {
    for (std::size_t len : {512u, 4097u}) {
        bytes img = sample_image(len);
        const bytes plain = img;
        add_crc(img.data(), static_cast<int>(len));
        EXPECT_EQ(std::pair(get_le32(img.data() + CRC_OFFSET), get_le32(img.data() + CRC_OFFSET + 4)),
                  std::pair(CRC32_MAGIC, calc_crc32(CRC32_SEED_INIT, plain.data(), u32(len)))) << len;
        const bytes stamped = img;
        EXPECT_EQ(check_crc(img.data(), static_cast<int>(len)), 0) << len;
        EXPECT_EQ(img, plain) << "check leaves both trailer words zero";
        add_crc(img.data(), static_cast<int>(len));
        EXPECT_EQ(img, stamped) << "stamping again gives the identical file";
    }
    // Any change outside the trailer, of a byte or of the length, is found.
    bytes stamped = sample_image(4097);
    add_crc(stamped.data(), 4096);
    for (std::size_t pos : {0u, 503u, 512u, 4095u}) {
        bytes img = stamped;
        img[pos] ^= 0x01;
        EXPECT_EQ(check_crc(img.data(), 4096), -1) << "byte " << pos;
        EXPECT_EQ(get_le32(img.data() + CRC_OFFSET) | get_le32(img.data() + CRC_OFFSET + 4), 0u) << "byte " << pos;
    }
    for (int len : {4095, 4097})
        EXPECT_EQ(check_crc(bytes(stamped).data(), len), -1) << len;
}

}  // namespace
