#include "flash_map.h"

#include "maintain/maintain.h"

namespace zsim {

const flash_map& map_for(layout_kind layout) {
    return layout == layout_kind::kv3 ? KV3_FLASH_LAYOUT : DEFAULT_FLASH_LAYOUT;
}

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
