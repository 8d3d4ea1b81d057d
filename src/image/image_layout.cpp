#include "image_layout.h"

#include <algorithm>

#include "../byte_order.h"
#include "../cfg.h"
#include "flash_layout.h"

namespace {

constexpr image_layout DEFAULT_LAYOUT{CFG_PARTION,          UCFG_MAC_SN_PARTION, PXE_PART_PARTION,
                                      FW_BIN_DEFAULT_IMG_BIN_SZ, FW_BIN_MAX_SZ,  PCSPHY_PARTION};
constexpr image_layout KV3_LAYOUT{KV3_CFG_PARTION,          KV3_UCFG_MAC_SN_PARTION, KV3_PXE_PART_PARTION,
                                  KV3_FW_BIN_DEFAULT_IMG_BIN_SZ, KV3_FW_BIN_MAX_SZ,   KV3_TRIM_INFO_OFF};

}  // namespace

const image_layout& layout_for_chip_group(u32 chip_group) {
    return chip_group == KV3_CHIP_GROUP ? KV3_LAYOUT : DEFAULT_LAYOUT;
}

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
    return image_group == 0 ? nullptr : chip_group_refusal(card_group, image_group);
}

record_splice user_record_splice(const image_layout& layout, int image_len) {
    if (image_len < layout.ucfg_off + MAC_SN_PRE_LEN)
        return {};
    return {layout.ucfg_off, std::min(UCFG_MAC_SN_SZ, image_len - layout.ucfg_off)};
}
