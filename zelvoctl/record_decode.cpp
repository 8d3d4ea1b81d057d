#include "record_decode.h"

#include <algorithm>
#include <cstdio>
#include <cstring>


namespace {

template <typename Record>
Record record_of(std::span<const u8> stored) {
    Record r;
    std::memset(&r, 0xff, sizeof r);
    std::memcpy(&r, stored.data(), std::min(stored.size(), sizeof r));
    return r;
}

json per_port(auto value_of) {
    json list = json::array();
    for (int p = 0; p < MAX_PORTS; ++p)
        list.push_back(value_of(p));
    return list;
}

json lane_flag(const ucfg_mac_sn& r, int port, u8 mask) {
    return {{"set", (r.fun_valid[port].v & mask) != 0}, {"on", (r.fun_flags[port].v & mask) != 0}};
}

json si_entry(const ucfg_mac_sn& r, int e) {
    const u32 valid = r.si_valid_flags >> (4 * e);
    auto value = [&](int bit, u8 v) { return (valid >> bit & 1u) ? json(v) : json(nullptr); };
    return {{"main", value(SI_MAIN_BIT, r.si[e].tx_eq_main)},
            {"pre", value(SI_PRE_BIT, r.si[e].tx_eq_pre)},
            {"post", value(SI_POST_BIT, r.si[e].tx_eq_post)},
            {"boost", value(SI_BOOST_BIT, r.si[e].boost)}};
}

json phy_settings(const net_phy_cfg& phy) {
    json lanes = json::array();
    for (const lane_cfg& l : phy.lane)
        lanes.push_back({{"mac", mac_text(l.macaddr).value_or("")},
                         {"port_id", l.port_id},
                         {"mode_flags", hex(l.mode_flags, 2)},
                         {"pma_type", l.pma_type}});
    return {{"speed", phy.speed},
            {"used_lanes", hex(phy.used_lane_bitmap, 2)},
            {"ext_pll", (phy.pll_flags & 1u) != 0},
            {"tx_eq_mains", hex(phy.tx_eq_mains)},
            {"tx_eq_pres", hex(phy.tx_eq_pres)},
            {"tx_eq_posts", hex(phy.tx_eq_posts)},
            {"tx_boost", {phy.tx_boost[0], phy.tx_boost[1], phy.tx_boost[2], phy.tx_boost[3]}},
            {"lanes", lanes}};
}

}  // namespace

std::string hex(u32 v, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, v);
    return text;
}

ucfg_mac_sn record_from_bytes(std::span<const u8> stored) { return record_of<ucfg_mac_sn>(stored); }

std::optional<std::string> mac_text(const u8* slot) {
    if (std::all_of(slot, slot + 6, [](u8 b) { return b == 0xff; }))
        return std::nullopt;
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", slot[0], slot[1], slot[2],
                  slot[3], slot[4], slot[5]);
    return text;
}

std::string text_field(const u8 (&field)[UCFG_TEXT_LEN]) {
    std::string out;
    for (const u8 c : field) {
        if (c == 0)
            break;
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        }
    }
    return out;
}

json decode_user_record(const ucfg_mac_sn& r) {
    const usr_pci_cfg pcfg = r.pcfg;
    return {
        {"valid", r.magic == MAC_SN_MAGIC},
        {"magic", hex(static_cast<u32>(r.magic))},
        {"mac", per_port([&](int p) {
             const auto m = mac_text(r.macaddr[p]);
             return m ? json(*m) : json(nullptr);
         })},
        {"sn", text_field(r.sn)},
        {"pn", text_field(r.pn)},
        {"name", text_field(r.pName)},
        {"si", per_port([&](int e) { return si_entry(r, e); })},
        {"lane", per_port([&](int p) {
             return json{{"an", lane_flag(r, p, LANE_AN_EN)},
                         {"lt", lane_flag(r, p, LANE_LINK_TRAING)},
                         {"fec", lane_flag(r, p, LANE_FEC_EN)}};
         })},
        {"led", {{"ctrl", hex(r.led_bitmap.led_ctrl)},
                 {"active_timeout", hex(r.led_bitmap.active_timeout_thre)},
                 {"blink_high", hex(r.led_bitmap.blink_high_thre)},
                 {"blink_low", hex(r.led_bitmap.blink_low_thre)}}},
        {"lldp", per_port([&](int p) {
             return json{{"status", r.lldp_admStatus[p]}, {"interval", r.lldp_txIntval[p]}};
         })},
        {"wol", per_port([&](int p) {
             return json{{"mode", r.wol_info[p].wol_mode}, {"enable", r.wol_info[p].wol_en}};
         })},
        {"pack_id", {{{"group", r.pack_id[0].group}, {"pin", r.pack_id[0].pin}},
                     {{"group", r.pack_id[1].group}, {"pin", r.pack_id[1].pin}}}},
        {"force_state", per_port([&](int p) { return r.force_status[p]; })},
        {"pcie", {{"valid", pcfg.valid() == PCI_CFG_VALID},
                  {"force_speed", pcfg.force_speed_by_user()},
                  {"preset", pcfg.pci_preset()},
                  {"word", hex(pcfg.v)}}},
    };
}

json decode_versions(std::span<const u8> stored) {
    if (stored.size() < sizeof(fw_version))
        return {{"firmware", nullptr}, {"pxe", nullptr}};
    const fw_version v = record_of<fw_version>(stored);
    if (v.magic != FW_VERSION_MAGIC)
        return {{"firmware", nullptr}, {"pxe", nullptr}};
    char fw[24], pxe[16];
    const u32 f = v.cur_fw_version, x = v.cur_pxe_version;
    std::snprintf(fw, sizeof fw, "%u.%u.%u.%u", f >> 24, (f >> 16) & 0xffu, (f >> 8) & 0xffu, f & 0xffu);
    std::snprintf(pxe, sizeof pxe, "%u.%u.%u", x & 0xffu, (x >> 8) & 0xffu, (x >> 16) & 0xffu);
    return {{"firmware", fw}, {"pxe", pxe}};
}

json decode_factory(std::span<const u8> stored) {
    const net_config c = record_of<net_config>(stored);
    json phys = json::array();
    for (const net_phy_cfg& phy : c.phy)
        phys.push_back(phy_settings(phy));
    return {
        {"header", {{"valid", c.magic == NET_CFG_MAGIC && stored.size() >= sizeof(net_config)},
                    {"magic", hex(c.magic)},
                    {"csum", hex(c.csum)},
                    {"len", c.len},
                    {"version", c.version}}},
        {"pcie", {{"lanes", c.pci.pci_lanes},
                  {"gen_speed", c.pci.pci_gen_speed},
                  {"flags", hex(c.pci.flags, 4)},
                  {"pf0_device", hex(c.pci.pf0_device, 4)},
                  {"pf1_device", hex(c.pci.pf1_device, 4)},
                  {"subsystem_id", hex(c.pci.subsystem_id, 4)},
                  {"subsystem_vendor", hex(c.pci.subsystem_vendor, 4)},
                  {"uid", hex(c.pci.pci_uid, 4)},
                  {"preset", c.pci.preset()}}},
        {"phy", phys},
    };
}
