// Every setting the command line can fill, with its default. One instance is
// made by main, filled once by the option parser and then only read; a test
// makes a fresh one with `settings s;`.
#pragma once

#include <cstring>

#include "base/types.h"

// Capacities include the terminating zero, so each text holds one less.
constexpr int DEV_NAME_CAP = 100;
constexpr int MAC_TEXT_CAP = 30;
constexpr int PCI_SPEED_CAP = 10;
constexpr int VDP_TEXT_CAP = 33;
constexpr int OPT_TEXT_CAP = 100;
constexpr int PATH_CAP = 200;

constexpr char DEFAULT_OUT_BIN_F[] = "zelvo.fw.bin";

struct settings {
    settings() {
        // "not given" for the identity texts is a first byte of 0xFF; the
        // _valid companions decide whether they are applied.
        vdp_sn[0] = vdp_pn[0] = vdp_pName[0] = static_cast<char>(0xFF);
        std::strcpy(out_bin_f, DEFAULT_OUT_BIN_F);
    }

    // Flags. Wider targets start at 0, so the one byte a flag writes reads 1.
    int verbose = 0;  // accepted, no effect
    int do_list_devices = 0;
    int verbose2 = 0;  // level-2 traces
    int verbose3 = 0;  // level-2 and level-3 traces
    int be_quiet = 0;  // no banner
    int gen_bin = 0;
    int overwrite_all_usr_cfg = 0;
    int do_reset_cfg = 0;
    u8 show_sn = 0, show_pn = 0, show_pName = 0, show_mac = 0;
    u8 show_si = 0, show_lldp = 0, show_wol = 0, show_pack_id = 0, show_force_state = 0;
    u8 show_led = 0;  // accepted, no effect
    unsigned show_version = 0;
    int in_all_device = 0;
    int none_prefetable = 0;  // accepted, no effect
    int dump_ucfg_mac_sn = 0;
    int dump_cfg_partion1 = 0;

    // Numbers; -1 means "not given" where that matters.
    int nr_device = -1;
    int in_an_en = -1, in_fec = -1, in_link_traing = -1;
    int port_cnts_of_card = 0;
    int dump_para = -1;
    int datalen = 0;  // accepted, no effect

    // Texts; empty means "not given".
    char dev_in[DEV_NAME_CAP] = {};
    char in_mac_addr[MAC_TEXT_CAP] = {};
    char in_pci_speed[PCI_SPEED_CAP] = {};  // PCIe link for image generation: "gen%dx%d", from -pci
    char in_mac_addr_p0[MAC_TEXT_CAP] = {};
    char vdp_sn[VDP_TEXT_CAP] = {};
    char vdp_pn[VDP_TEXT_CAP] = {};
    char vdp_pName[VDP_TEXT_CAP] = {};
    int vdp_sn_valid = -1, vdp_pn_valid = -1, vdp_pName_valid = -1;  // length when given
    char led_str[OPT_TEXT_CAP] = {};
    char pack_id_str[OPT_TEXT_CAP] = {};
    char lldp_status_str[OPT_TEXT_CAP] = {};
    char lldp_txIntval_str[OPT_TEXT_CAP] = {};
    char wol_en_str[OPT_TEXT_CAP] = {};
    char wol_mode_str[OPT_TEXT_CAP] = {};
    char force_status_str[OPT_TEXT_CAP] = {};
    char fw_bin[PATH_CAP] = {};
    char pxe_bin[PATH_CAP] = {};
    char in_file_eeprom_name[PATH_CAP] = {};
    char si_str[OPT_TEXT_CAP] = {};
    char si_0[OPT_TEXT_CAP] = {}, si_1[OPT_TEXT_CAP] = {}, si_2[OPT_TEXT_CAP] = {},
         si_3[OPT_TEXT_CAP] = {}, si_4[OPT_TEXT_CAP] = {}, si_5[OPT_TEXT_CAP] = {},
         si_6[OPT_TEXT_CAP] = {}, si_7[OPT_TEXT_CAP] = {};
    char out_bin_f[PATH_CAP] = {};
    char in_pci_slot[DEV_NAME_CAP] = {};

    // Level-2 traces print with either flag, level-3 traces only with -vvv.
    bool trace2() const { return verbose2 || verbose3; }
    bool trace3() const { return verbose3 != 0; }

    // The per-port SI texts of -si-p0 .. -si-p7, by port number.
    const char* si_port(int port) const {
        const char* const texts[] = {si_0, si_1, si_2, si_3, si_4, si_5, si_6, si_7};
        return texts[port];
    }
};
