#include "image/crc32_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "byte_order.h"

namespace {

std::vector<u8> sample_image(std::size_t len) {
    std::vector<u8> img(len);
    for (std::size_t i = 0; i < len; ++i)
        img[i] = static_cast<u8>(i * 37 + (i >> 9));
    put_le32(img.data() + CRC_OFFSET, 0);
    put_le32(img.data() + CRC_OFFSET + 4, 0);
    return img;
}

TEST(Crc32Info, KnownValues) {
    const char digits[] = "123456789";
    EXPECT_EQ(calc_crc32(CRC32_SEED_INIT, reinterpret_cast<const u8*>(digits), 9), 0x340BC6D9u);
    EXPECT_EQ(calc_crc32(CRC32_SEED_INIT, nullptr, 0), 0xFFFFFFFFu);
    // The register is not inverted: the common CRC-32 is its complement.
    const u8 a = 'a';
    EXPECT_EQ(~calc_crc32(CRC32_SEED_INIT, &a, 1), 0xE8B7BE43u);
}

TEST(Crc32Info, PiecesChainThroughTheSeed) {
    const std::vector<u8> img = sample_image(4096);
    const u32 whole = calc_crc32(CRC32_SEED_INIT, img.data(), 4096);
    for (u32 cut : {0u, 1u, 503u, 2048u, 4095u, 4096u}) {
        const u32 first = calc_crc32(CRC32_SEED_INIT, img.data(), cut);
        EXPECT_EQ(calc_crc32(first, img.data() + cut, 4096 - cut), whole) << "cut at " << cut;
    }
}

TEST(Crc32Info, StampThenCheckRestoresTheImage) {
    for (std::size_t len : {512u, 513u, 4096u, 0x41000u}) {
        std::vector<u8> img = sample_image(len);
        const std::vector<u8> plain = img;
        add_crc(img.data(), static_cast<int>(len));
        EXPECT_EQ(get_le32(img.data() + CRC_OFFSET), CRC32_MAGIC);
        EXPECT_EQ(get_le32(img.data() + CRC_OFFSET + 4),
                  calc_crc32(CRC32_SEED_INIT, plain.data(), static_cast<u32>(len)));
        const std::vector<u8> stamped = img;

        EXPECT_EQ(check_crc(img.data(), static_cast<int>(len)), 0) << len;
        EXPECT_EQ(img, plain) << "check leaves both trailer words zero";
        add_crc(img.data(), static_cast<int>(len));
        EXPECT_EQ(img, stamped) << "stamping again gives the identical file";
    }
}

TEST(Crc32Info, AnyChangeOutsideTheTrailerIsDetected) {
    std::vector<u8> stamped = sample_image(4096);
    add_crc(stamped.data(), 4096);
    for (std::size_t pos : {0u, 63u, 503u, 512u, 2000u, 4095u}) {
        std::vector<u8> img = stamped;
        img[pos] ^= 0x01;
        EXPECT_EQ(check_crc(img.data(), 4096), -1) << "byte " << pos;
        EXPECT_EQ(get_le32(img.data() + CRC_OFFSET), 0u);
        EXPECT_EQ(get_le32(img.data() + CRC_OFFSET + 4), 0u);
    }
    std::vector<u8> longer = stamped;
    longer.push_back(0xFF);
    EXPECT_EQ(check_crc(longer.data(), static_cast<int>(longer.size())), -1);
    std::vector<u8> shorter = stamped;
    EXPECT_EQ(check_crc(shorter.data(), 4095), -1);
}

TEST(Crc32Info, NoTrailerLeavesTheBufferAlone) {
    struct case_ {
        const char* what;
        u32 magic;
    } const cases[] = {
        {"erased", 0xFFFFFFFF},
        {"zero", 0},
        {"magic with one byte changed", CRC32_MAGIC ^ 0x00010000},
    };
    for (const auto& c : cases) {
        std::vector<u8> img = sample_image(1024);
        // A checksum that would be valid, to show it is not even looked at.
        put_le32(img.data() + CRC_OFFSET + 4, calc_crc32(CRC32_SEED_INIT, img.data(), 1024));
        put_le32(img.data() + CRC_OFFSET, c.magic);
        const std::vector<u8> before = img;
        EXPECT_EQ(check_crc(img.data(), 1024), 1) << c.what;
        EXPECT_EQ(img, before) << c.what;
    }
}

TEST(Crc32Info, ImagesShorterThanOneBlockHaveNoTrailer) {
    // The magic sits where a longer image would have it, but the image ends
    // inside the trailer: nothing may be read or written there.
    std::vector<u8> img = sample_image(512);
    put_le32(img.data() + CRC_OFFSET, CRC32_MAGIC);
    const std::vector<u8> before = img;
    EXPECT_EQ(check_crc(img.data(), 511), 1);
    add_crc(img.data(), 511);
    EXPECT_EQ(img, before);
}

}  // namespace
