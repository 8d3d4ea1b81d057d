#include "flash_map.h"

#include "image/flash_layout.h"
#include "maintain.h"

namespace zsim {

namespace {

constexpr flash_map STANDARD = {
    FW_BIN_MAX_SZ,
    {FW_PARTION, FW_MAX_SZ},
    {CFG_PARTION, CFG_MAX_SZ},
    {UCFG_MAC_SN_PARTION, UCFG_MAX_SZ},
    {PCSPHY_PARTION, PCSPHY_MAX_SZ},
    {PXE_PART_PARTION, PXE_MAX_SZ},
    KV9_CHIP_GROUP,
};

constexpr flash_map KV3 = {
    KV3_FW_BIN_MAX_SZ,
    {KV3_FW_PARTION, KV3_FW_MAX_SZ},
    {KV3_CFG_PARTION, KV3_CFG_MAX_SZ},
    {KV3_UCFG_MAC_SN_PARTION, KV3_UCFG_MAX_SZ},
    {KV3_TRIM_INFO_OFF, KV3_TRIM_INFO_SZ},
    {KV3_PXE_PART_PARTION, KV3_PXE_MAX_SZ},
    KV3_CHIP_GROUP,
};

}  // namespace

const flash_map& map_for(layout_kind layout) { return layout == layout_kind::kv3 ? KV3 : STANDARD; }

std::optional<flash_area> partition_area(const flash_map& map, int partion) {
    switch (partion) {
    case PART_FW:
        return flash_area{map.fw.off, map.fw.size + map.cfg.size};
    case PART_CFG:
        return map.cfg;
    case PART_MAC_ADDR:
        return map.ucfg;
    case PCSPHY:
        return map.pcsphy;
    case IPXE:
        return map.pxe;
    default:
        return std::nullopt;
    }
}

}  // namespace zsim
