// The firmware image prepared for a card (splice, trailer, a short record
// read), on a fake flash that records every access.
#include "image/fw_prepare.h"

#include "base/byte_order.h"
#include "image/crc32_info.h"
#include "maintain/maintain.h"
#include "test_support.h"

namespace {

using namespace test_support;
constexpr u32 KV3 = 0x88488208;

// One card: its user record, the accesses as "r3", "w5:SIZE", and knobs.
struct fake_card final : flash_access {
    int read_flash_partion(const eth_dev*, int partion, const char*, std::span<u8> out_buf) override {
        log += "r" + std::to_string(partion) + " ";
        std::copy_n(record.begin(), std::min<std::size_t>(deliver, out_buf.size()), out_buf.begin());
        return deliver;
    }
    int write_flash_partion(const eth_dev*, int partion, std::span<const u8> data) override {
        log += "w" + std::to_string(partion) + ":" + std::to_string(data.size()) + " ";
        return 0;
    }
    bytes record = patterned(UCFG_MAC_SN_SZ);
    int deliver = UCFG_MAC_SN_SZ;
    std::string log;
};

eth_dev card_of(u16 device) {
    eth_dev d{};
    d.ddevice = device;
    return d;
}

enum trailer_kind { no_trailer, good_trailer };

// A firmware file: pattern bytes, chip-group word, trailer as asked.
bytes fw_file(std::size_t len, u32 group = 0, trailer_kind t = no_trailer) {
    bytes f = patterned(len);
    if (len >= 64)
        put_le32(f.data() + 60, group);
    if (len >= 512 && t == good_trailer) {
        std::fill_n(f.begin() + 504, 8, 0);
        add_crc(f.data(), static_cast<int>(len));
    }
    return f;
}

TEST(PrepareFwImage, SplicesTheCardsRecordAndRenewsTheTrailer) {
    const struct {
        std::size_t len;
        u32 group;
        u16 device;
        trailer_kind trailer;
        bool overwrite;
        int splice_at, splice_len;
    } rows[] = {
        {0x41000, 0, 0x8308, good_trailer, false, 0, 0},       // default size: no record area
        {0x41001, 0, 0x8308, no_trailer, false, 0x41000, 1},    // one byte of the MAC table
        {0x4105F, 0, 0x8308, good_trailer, false, 0x41000, 95},
        {0x41060, 0, 0x8308, good_trailer, false, 0x41000, 96},  // the part that fits
        {0xCA000, 0, 0x8308, no_trailer, false, 0x41000, 480},
        {0xCA000, 0, 0x8308, good_trailer, true, 0, 0},          // overwrite: the file as it is
        {0x1E05F, 0, 0x8208, good_trailer, false, 0x1E000, 95},
        {0x1E060, KV3, 0x8208, no_trailer, false, 0x1E000, 96},
        {0x41000, 0, 0x8208, good_trailer, false, 0x1E000, 480},   // KV3: its own offset
        {0x80000, 0, 0x1234, good_trailer, false, 0x41000, 480},   // no group: default layout
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.len << " dev " << r.device << " ow " << r.overwrite);
        fake_card flash;
        const eth_dev dev = card_of(r.device);
        const bytes file = fw_file(r.len, r.group, r.trailer);
        const fw_image img = prepare_fw_bytes(file, "fw.bin", flash, &dev, r.overwrite);
        ASSERT_TRUE(img.ok()) << img.message;
        EXPECT_EQ(img.splice, (record_splice{r.splice_at, r.splice_len}));
        EXPECT_EQ(flash.log, r.splice_len ? "r3 " : "");
        EXPECT_EQ(img.trailer, r.trailer == good_trailer ? fw_trailer::renewed : fw_trailer::none);

        bytes want = file;
        std::copy_n(flash.record.begin(), r.splice_len, want.begin() + r.splice_at);
        if (r.trailer == good_trailer) {
            std::fill_n(want.begin() + 504, 8, 0);
            add_crc(want.data(), static_cast<int>(want.size()));
            bytes check = img.bytes;
            EXPECT_EQ(check_crc(check.data(), static_cast<int>(check.size())), 0) << "the written image checks";
        }
        EXPECT_TRUE(img.bytes == want);  // without a splice: the file byte for byte
    }
}

// Refusals come before any write; the end-to-end tests show each message. A
// record read that delivers less than the whole record is refused too.
TEST(PrepareFwImage, RefusesAShortRecordRead) {
    for (const int deliver : {0, 479}) {
        fake_card flash;
        flash.deliver = deliver;
        const eth_dev dev = card_of(0x8308);
        const fw_image img = prepare_fw_bytes(fw_file(0xCA000), "fw.bin", flash, &dev, false);
        EXPECT_EQ(std::tuple(img.refusal, img.message, img.bytes.size()),
                  std::tuple(fw_refusal::record_unreadable, std::string("io eeprom error!"), std::size_t{0}));
    }
}

}  // namespace
