#include "image/image_layout.h"

#include "base/byte_order.h"
#include "devices/port_count.h"
#include "test_support.h"

namespace {

constexpr u32 KV9 = 0x88488308, KV3 = 0x88488208;

TEST(ImageLayout, ChipGroupRules) {
    const char *const ok = nullptr, *const not_kv9 = "fw bin is not for KV9 !", *const not_kv3 = "fw bin is not for KV3 !";
    const struct { u32 group, word; const char *gen_bin, *card; } rows[] = {
        // recorded or card group, image word: image generation's rule, the update's rule
        {0, 0, ok, ok},
        {0, KV3, not_kv3, not_kv9},  // no group: the default layout's (KV9) rule
        {0, KV9, not_kv3, ok},
        {KV9, 0, ok, ok},
        {KV9, KV9, ok, ok},
        {KV9, KV3, not_kv9, not_kv9},
        {KV3, KV3, ok, ok},
        {KV3, 0, not_kv3, ok},  // a word of 0 fits every card
        {KV3, KV9, not_kv3, not_kv3},
    };
    for (const auto& r : rows) {
        EXPECT_STREQ(chip_group_refusal(r.group, r.word), r.gen_bin) << std::hex << r.group << " " << r.word;
        EXPECT_STREQ(card_chip_group_refusal(r.group, r.word), r.card) << std::hex << r.group << " " << r.word;
    }
    EXPECT_EQ(std::tuple(chip_group_of_device(0x8208), chip_group_of_device(0x8308), chip_group_of_device(0x8318),
                         chip_group_of_device(0x8309), chip_group_of_device(0)),
              std::tuple(KV3, KV9, KV9, 0u, 0u));
    test_support::bytes page(64, 0);
    put_le32(page.data() + 60, KV3);
    EXPECT_EQ(image_chip_group(page), KV3);
    EXPECT_EQ(image_chip_group(std::span(page).first(63)), 0u);  // no boot page: no word
}

}  // namespace
