#include "synthetic_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_order.h"
#include "flash_map.h"
#include "image/crc32_info.h"
#include "base/flash_layout.h"
#include "maintain/maintain.h"
#include "sim_error.h"

namespace zsim {

namespace {

// Firmware body: a cheap integer hash of the offset, so every image of the
// same size is identical and no long runs of one value appear.
u8 pattern_byte(u32 i) { return static_cast<u8>((i * 2654435761u) >> 13); }

config_page_st boot_page(const fw_image_params& params) {
    config_page_st page{};
    page.exist_flag = 0x5A5AA5A5;
    page.page_length = sizeof(config_page_st);
    page.sfc_code_flag = 1;
    page.code_src_addr = 0x200;  // code starts behind the first block (page and trailer)
    page.code_length = params.cfg_offset > 0x200 ? params.cfg_offset - 0x200 : 0;
    page.code_dst_addr = 0x20000000;
    page.frequency = 100000000;
    page.param_src_addr = params.cfg_offset;
    page.param_length = sizeof(net_config);
    page.param_dst_addr = 0x20080000;
    page.reserved1 = params.chip_group;
    return page;
}

}  // namespace

net_config make_net_config(u16 device, const mac_addr& base, int ports) {
    net_config rec{};
    rec.magic = NET_CFG_MAGIC;
    rec.len = sizeof(net_config);
    rec.version = NET_CFG_VERSION;
    rec.pci.pci_lanes = 8;
    rec.pci.pci_gen_speed = 3;
    rec.pci.flags = PCI_FLAG_PXE_ENABLE;
    rec.pci.pf0_device = device;
    rec.pci.pf1_device = device;
    rec.pci.subsystem_id = device;
    rec.pci.subsystem_vendor = ZELNIC_VENDOR;
    rec.pci.preset_word = 7;
    for (int i = 0; i < MAX_NET_PHY_NUM; ++i) {
        net_phy_cfg& phy = rec.phy[i];
        for (auto& lane : phy.lane) {
            std::memset(lane.macaddr, 0xff, sizeof lane.macaddr);
            std::memset(lane.pak, 0xff, sizeof lane.pak);
            std::memset(lane.ext_phy, 0xff, sizeof lane.ext_phy);
        }
        if (i >= ports)
            continue;
        phy.speed = 10000;
        phy.used_lane_bitmap = 0x1;
        phy.tx_eq_mains = phy.tx_eq_pres = phy.tx_eq_posts = 0xFFFFFFFF;  // TX_EQ_IGNORE each
        const mac_addr m = mac_plus(base, i);
        std::memcpy(phy.lane[0].macaddr, m.data(), m.size());
        phy.lane[0].macaddr[6] = phy.lane[0].macaddr[7] = 0;
        phy.lane[0].port_id = static_cast<u8>(i);
        phy.lane[0].mode_flags = 1u << 1;   // auto-negotiation
        phy.lane[0].pma_type = 0b000111;    // 10GBASE-SR
        phy.lane[0].iface_flags = 1u << 3;  // GPIO-controlled fibre module
        phy.lane[0].lldp_txIntval = 30;
    }
    std::memset(&rec.slot_id0, 0xff, sizeof rec.slot_id0);
    std::memset(&rec.slot_id1, 0xff, sizeof rec.slot_id1);
    rec.csum = 0;
    rec.csum = crxsum(&rec, rec.len);
    return rec;
}

ucfg_mac_sn make_user_record(u16 device, const mac_addr& base, int ports, const std::string& sn) {
    ucfg_mac_sn rec;
    std::memset(&rec, 0xff, sizeof rec);
    ucfg_mac_sn_reset(&rec);
    for (int i = 0; i < std::min(ports, MAX_PORTS); ++i) {
        const mac_addr m = mac_plus(base, i);
        std::memcpy(rec.macaddr[i], m.data(), m.size());
        rec.macaddr[i][6] = rec.macaddr[i][7] = 0;
    }
    std::memcpy(rec.sn, sn.data(), std::min(sn.size(), sizeof rec.sn));
    char text[UCFG_TEXT_LEN + 1];
    std::snprintf(text, sizeof text, "ZSIM-%04X", device);
    std::memcpy(rec.pn, text, std::strlen(text));
    std::snprintf(text, sizeof text, "zelnic-sim %d-port", ports);
    std::memcpy(rec.pName, text, std::strlen(text));
    return rec;
}

std::vector<u8> make_fw_image(const fw_image_params& params) {
    if (params.size < sizeof(config_page_st))
        throw sim_error("image size " + std::to_string(params.size) +
                        " is too small for the boot configuration page (64 bytes)");
    if (params.crc && params.size < static_cast<u32>(CRC_MIN_IMAGE_SZ))
        throw sim_error("image size " + std::to_string(params.size) +
                        " has no room for a CRC trailer (512 bytes)");
    std::vector<u8> img(params.size);
    for (u32 i = 0; i < params.size; ++i)
        img[i] = pattern_byte(i);
    const config_page_st page = boot_page(params);
    std::memcpy(img.data(), &page, sizeof page);
    if (params.size >= static_cast<u32>(CRC_MIN_IMAGE_SZ)) {
        // Zero words mean "no trailer" and are what the checksum counts them as.
        put_le32(img.data() + CRC_OFFSET, 0);
        put_le32(img.data() + CRC_OFFSET + 4, 0);
    }
    if (params.size >= params.cfg_offset + sizeof(net_config)) {
        const net_config rec = make_net_config(params.device, params.mac, params.ports);
        const u32 area_end = std::min<u32>(params.size, params.cfg_offset + CFG_MAX_SZ);
        std::fill(img.begin() + params.cfg_offset, img.begin() + area_end, 0xff);
        std::memcpy(img.data() + params.cfg_offset, &rec, sizeof rec);
    }
    if (params.crc)
        add_crc(img.data(), static_cast<int>(img.size()));
    return img;
}

std::vector<u8> factory_flash(const card_cfg& card) {
    const flash_map& map = map_for(card.layout);
    const int ports = port_count_of_device(card.device);
    std::vector<u8> flash(map.flash_size, 0xff);

    fw_image_params params;
    params.size = map.fw.size + map.cfg.size;
    params.chip_group = map.chip_group;
    params.cfg_offset = map.cfg.off;
    params.device = card.device;
    params.mac = card.mac;
    params.ports = ports;
    const std::vector<u8> fw = make_fw_image(params);
    std::copy(fw.begin(), fw.end(), flash.begin() + map.fw.off);

    const ucfg_mac_sn rec = make_user_record(card.device, card.mac, ports, card.sn);
    std::memcpy(flash.data() + map.ucfg.off, &rec, sizeof rec);
    return flash;
}

}  // namespace zsim
