// Where each maintain partition lives in a card's flash, per chip layout.
#pragma once

#include <optional>

#include "sim_config.h"
#include "types.h"

namespace zsim {

struct flash_area {
    u32 off = 0;
    u32 size = 0;
};

struct flash_map {
    u32 flash_size;    // bytes of the whole flash (and of its image file)
    flash_area fw;     // firmware code
    flash_area cfg;    // factory configuration, net_config
    flash_area ucfg;   // user configuration, ucfg_mac_sn
    flash_area pcsphy; // what the PCSPHY partition serves (KV3: the trim area)
    flash_area pxe;
    u32 chip_group;
};

const flash_map& map_for(layout_kind layout);

// The area a partition reads from and writes to; none for partitions without
// one (VERSION_INFO, 6-9, 11). PART_FW spans firmware and factory areas.
std::optional<flash_area> partition_area(const flash_map& map, int partion);

}  // namespace zsim
