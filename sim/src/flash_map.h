// Where each maintain partition lives in a card's flash, per chip layout.
#pragma once

#include <optional>

#include "base/flash_layout.h"
#include "sim_config.h"
#include "base/types.h"

namespace zsim {

using ::flash_area;
using flash_map = ::flash_layout;

const flash_map& map_for(layout_kind layout);

// The area a partition reads from and writes to; none for partitions without
// one (VERSION_INFO, 6-9, 11). PART_FW spans firmware and factory areas.
std::optional<flash_area> partition_area(const flash_map& map, int partion);

}  // namespace zsim
