#include "command_set.h"

namespace {

constexpr int LISTED = 1, HIDDEN = 0;

arg_option flag(const char* s_name, const char* l_name, void* target, const char* descr, int view) {
    return {s_name, l_name, OPT_NO_ARG, target, OPT_BOOL_SET_1, nullptr, descr, view, 0};
}

arg_option number(const char* s_name, const char* l_name, int* target, const char* descr, int view) {
    return {s_name, l_name, OPT_HAS_ARG, target, OPT_INT32, nullptr, descr, view, sizeof *target};
}

template <std::size_t N>
arg_option text(const char* s_name, const char* l_name, char (&target)[N], const char* descr, int view,
                int* dlen = nullptr) {
    return {s_name, l_name, OPT_HAS_ARG, target, OPT_STRING, dlen, descr, view, N};
}

}  // namespace

option_table build_opts(settings& s) {
    option_table t{};  // the record after the last row stays the end of the table
    int row = 0;
    auto add = [&](const arg_option& o) { t[row++] = o; };

    add(flag("v", "verbose", &s.verbose, "versbose descript", LISTED));
    add(flag("l", "list", &s.do_list_devices, "list deivces", LISTED));
    add(flag("", "vv", &s.verbose2, "verbose", HIDDEN));
    add(flag("", "vvv", &s.verbose3, "verbose3", HIDDEN));
    add(flag("q", "quiet", &s.be_quiet, "quiet", LISTED));
    add(flag("", "genbin", &s.gen_bin, "gen bin", LISTED));
    add(flag("", "overwrite_all_usr_cfg", &s.overwrite_all_usr_cfg, "over write all usercfg data in flash with fw",
             LISTED));
    add(flag("", "reset-cfg", &s.do_reset_cfg, "reset mac and other cfg", LISTED));
    add(number("i", "idx", &s.nr_device, "nr network device", LISTED));
    add(text("d", "dev", s.dev_in, "network device", LISTED));
    // -pci carries the PCIe link of image generation ("gen%dx%d"), as its help says.
    add(text("", "pci", s.in_pci_speed, "set pci: ie gen2x3", LISTED));
    add(number("", "an", &s.in_an_en, "autonege", LISTED));
    add(number("", "fec", &s.in_fec, "fec", LISTED));
    add(number("", "link-traing", &s.in_link_traing, "link-traing", LISTED));
    add(text("m", "mac", s.in_mac_addr, "mac address", LISTED));
    add(text("", "pci", s.in_pci_speed, "pci", LISTED));  // shadowed by the row above
    add(text("", "mac-p0", s.in_mac_addr_p0, "mac address for port0", LISTED));
    add(text("", "sn", s.vdp_sn, "set sn", LISTED, &s.vdp_sn_valid));
    add(text("", "pn", s.vdp_pn, "set pn", LISTED, &s.vdp_pn_valid));
    add(text("", "pName", s.vdp_pName, "set product name", LISTED, &s.vdp_pName_valid));
    add(flag("", "sn-show", &s.show_sn, "show sn", LISTED));
    add(flag("", "pn-show", &s.show_pn, "show pn", LISTED));
    add(flag("", "pName-show", &s.show_pName, "show product name", LISTED));
    add(flag("", "mac-show", &s.show_mac, "show mac info", LISTED));
    add(flag("", "si-show", &s.show_si, "show si", HIDDEN));
    add(text("", "led", s.led_str, "led: <led_ctrl>,<led_act_tmout>,<led_blk_thr_h>,<led_blk_thr_l>", LISTED));
    add(flag("", "led-show", &s.show_led, "show led", HIDDEN));
    add(text("", "pack_id", s.pack_id_str,
             "pack_id: <id0_group:0-3>,<id0_pin:0-3>,<id1_group:0-3>,<id1_pin:0-3>", LISTED));
    add(flag("", "pack_id-show", &s.show_pack_id, "show pack_id", HIDDEN));
    add(text("", "lldp_status", s.lldp_status_str,
             "lldp_status: <port0_status:0-3>,<port1_status:0-3>,<port2_status:0-3>,<port3_status:0-3>", LISTED));
    add(text("", "lldp_tx", s.lldp_txIntval_str,
             "lldp_tx: <port0_tx:0-255>,<port1_tx:0-255>,<port2_tx:0-255>,<port3_tx:0-255>", LISTED));
    add(flag("", "lldp-show", &s.show_lldp, "show lldp", HIDDEN));
    add(text("", "wol_en", s.wol_en_str, "wol_en: <port0_en:0-1>,<port1_en:0-1>,<port2_en:0-1>,<port3_en:0-1>",
             LISTED));
    add(text("", "wol_mode", s.wol_mode_str,
             "wol_mode: <port0_mode:0-65535>,<port1_mode:0-65535>,<port2_mode:0-65535>,<port3_mode:0-65535>",
             LISTED));
    add(flag("", "wol-show", &s.show_wol, "show wol", HIDDEN));
    add(text("", "force_state", s.force_status_str,
             "force_state: <port0_en:0-1>,<port1_en:0-1>,<port2_en:0-1>,<port3_en:0-1>", LISTED));
    add(flag("", "force-state-show", &s.show_force_state, "show force state", HIDDEN));
    add(number("", "ports", &s.port_cnts_of_card, "ports nums:1~7 ", LISTED));
    add(text("f", "fw", s.fw_bin, "fw bin", LISTED));
    add(text("", "pxe", s.pxe_bin, "pxe bin", HIDDEN));
    add(text("", "eeprom", s.in_file_eeprom_name, "file as eeprom", HIDDEN));
    add(text("s", "si", s.si_str, "si: <main:0~63>,<pre:0~63>,<post:0~63>,<tx_boost:0~15>", LISTED));
    add(text("", "si-p0", s.si_0, "si for port 0", LISTED));
    add(text("", "si-p1", s.si_1, "si for port 1", LISTED));
    add(text("", "si-p2", s.si_2, "si for port 2", LISTED));
    add(text("", "si-p3", s.si_3, "si for port 3", LISTED));
    add(text("", "si-p4", s.si_4, "si for port 4", LISTED));
    add(text("", "si-p5", s.si_5, "si for port 5", LISTED));
    add(text("", "si-p6", s.si_6, "si for port 6", LISTED));
    add(text("", "si-p7", s.si_7, "si for port 7", LISTED));
    add(number("", "dp", &s.dump_para, "", HIDDEN));
    add(flag("", "fw-version", &s.show_version, "show firmware version", LISTED));
    add(text("o", "out", s.out_bin_f, "out bin", LISTED));
    add(flag("a", "all", &s.in_all_device, "all network device", LISTED));
    add(flag("", "none_prefetchable", &s.none_prefetable, "none_prefetchable", HIDDEN));
    add(flag("", "dump0", &s.dump_ucfg_mac_sn, "dump mac+si", LISTED));
    add(flag("", "dumpcfg", &s.dump_cfg_partion1, "dump partion1", HIDDEN));
    add(text("s", "slot", s.in_pci_slot, "find device by pci slot. ie: a0:00.1", LISTED));
    add(number("d", "dump", &s.datalen, "data len", LISTED));
    return t;
}
