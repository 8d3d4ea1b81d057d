#include "image_layout.h"

#include <algorithm>

#include "base/byte_order.h"
#include "record/cfg.h"
#include "base/flash_layout.h"

u32 image_chip_group(std::span<const u8> image) {
    if (image.size() < static_cast<std::size_t>(BOOT_PAGE_SZ))
        return 0;
    return get_le32(image.data() + CHIP_GROUP_WORD_OFF);
}

const char* chip_group_refusal(u32 chip_group, u32 image_group) {
    if (image_group == chip_group)
        return nullptr;
    if (chip_group == KV9_CHIP_GROUP)
        return image_group == 0 ? nullptr : "fw bin is not for KV9 !";
    return "fw bin is not for KV3 !";
}

const char* card_chip_group_refusal(u32 card_group, u32 image_group) {
    if (image_group == 0)
        return nullptr;
    // A device without a group has the default layout, as KV9 cards do.
    return chip_group_refusal(card_group == 0 ? KV9_CHIP_GROUP : card_group, image_group);
}

record_splice user_record_splice(const flash_layout& layout, int image_len) {
    const int ucfg_off = static_cast<int>(layout.ucfg.off);
    if (image_len <= ucfg_off)
        return {};
    return {ucfg_off, std::min(UCFG_MAC_SN_SZ, image_len - ucfg_off)};
}
