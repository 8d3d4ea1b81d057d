#include "flash_areas.h"

#include <algorithm>

#include "devices/port_count.h"
#include "flash_partitions.h"
#include "base/flash_layout.h"

std::vector<flash_area_reach> flash_areas_of(const eth_dev& dev) {
    const flash_layout& l = layout_for_chip_group(chip_group_of_device(dev.ddevice));
    const auto delivered = [](int partition, u32 from, u32 size) {
        return std::min<u32>(size, static_cast<u32>(partion_max_sz(partition)) - from);
    };
    const char* pcsphy = l.chip_group == KV3_CHIP_GROUP ? "trim" : "pcsphy";
    return {
        {"firmware", l.fw.off, l.fw.size, PART_FW, 0, delivered(PART_FW, 0, l.fw.size)},
        {"factory", l.cfg.off, l.cfg.size, PART_FW, l.cfg.off, delivered(PART_FW, l.cfg.off, l.cfg.size)},
        {"user", l.ucfg.off, l.ucfg.size, PART_MAC_ADDR, 0, delivered(PART_MAC_ADDR, 0, l.ucfg.size)},
        {pcsphy, l.pcsphy.off, l.pcsphy.size, PCSPHY, 0, delivered(PCSPHY, 0, l.pcsphy.size)},
        {"pxe", l.pxe.off, l.pxe.size, IPXE, 0, delivered(IPXE, 0, l.pxe.size)},
    };
}

std::vector<area_comparison> compare_areas(flash_access& flash, const eth_dev& dev, u32 at, const std::vector<u8>& bytes) {
    std::vector<area_comparison> out;
    const std::size_t end = at + bytes.size();
    for (const flash_area_reach& a : flash_areas_of(dev)) {
        const std::size_t from = std::max<std::size_t>(at, a.off), to = std::min<std::size_t>(end, a.off + a.size);
        if (from >= to)
            continue;
        area_comparison c{a.name};
        c.bytes = to - from;
        const std::vector<u8> now = read_partition(flash, dev, a.partition);
        for (std::size_t x = from; x < to; ++x) {
            const std::size_t in_reply = a.partition_off + (x - a.off);
            if (x - a.off >= a.delivered || in_reply >= now.size())
                break;
            ++c.compared;
            if (now[in_reply] != bytes[x - at] && c.differing++ == 0)
                c.first_difference = x;
        }
        out.push_back(c);
    }
    return out;
}

json unreadable_json(const eth_dev& dev) {
    json list = json::array();
    for (const flash_area_reach& a : flash_areas_of(dev))
        if (a.delivered < a.size)
            list.push_back({{"area", a.name}, {"offset", hex(a.off + a.delivered, 5)}, {"bytes", a.size - a.delivered}});
    return list;
}
